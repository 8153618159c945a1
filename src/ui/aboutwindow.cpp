#include "ui/aboutwindow.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>

#include "app/menus.h"
#include "ui/clickablelabel.h"

namespace vx {

namespace {

QLabel* namedLabel(const std::string& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(QString::fromStdString(text), parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

QString AboutWindow::systemInfoProgram() {
    for (const char* program : {"hardinfo2", "hardinfo", "kinfocenter", "gnome-system-monitor"}) {
        const QString path = QStandardPaths::findExecutable(program);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent) {
    const AboutText text = AboutWindowText();
    setObjectName("frmAbout");
    setWindowTitle(QString::fromStdString(text.caption));
    setModal(true);

    auto* icon = new ClickableLabel(this);
    icon->setObjectName("picIcon");
    const QIcon appIcon = windowIcon().isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon) : windowIcon();
    icon->setPixmap(appIcon.pixmap(48, 48));
    icon->setCursor(Qt::PointingHandCursor);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    auto* sysInfo = new QPushButton("システム情報(&S)...", this);
    sysInfo->setObjectName("cmdSysInfo");
    const QString infoProgram = systemInfoProgram();
    sysInfo->setVisible(!infoProgram.isEmpty());

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(namedLabel(text.title, "lblTitle", this), 0, 1);
    grid->addWidget(namedLabel(text.description, "lblDescription", this), 1, 1);
    grid->addWidget(namedLabel(text.version, "lblVersion", this), 2, 1);
    grid->addWidget(namedLabel(text.disclaimer, "lblDisclaimer", this), 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(sysInfo);
    grid->addLayout(buttons, 4, 0, 1, 2);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, this, [infoProgram] { QProcess::startDetached(infoProgram, {}); });
    connect(icon, &ClickableLabel::clicked, this, [this] {
        iconClicked_ = true;
        accept();
    });
}

}  // namespace vx
