#include "ui/frmhint.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ops/workflows.h"
#include "session/session.h"
#include "ui/widgethelpers.h"

namespace vx {

int ShowFrmHint(Session& s, QWidget* mainWindow) {
    s.run.hintAnswer = 0;
    QDialog dialog;
    dialog.setObjectName("frmHint");
    MakeWindowModal(dialog, mainWindow);
    dialog.setWindowTitle("Vormex V3");
    auto* layout = new QVBoxLayout(&dialog);
    for (const std::string* line : {&s.view.hintLine0, &s.view.hintLine1}) {
        auto* label = new QLabel(DisplayText(*line), &dialog);
        label->setObjectName(line == &s.view.hintLine0 ? "Label1_0" : "Label1_1");
        layout->addWidget(label);
    }
    auto* row = new QHBoxLayout;
    auto* yes = new QPushButton("はい", &dialog);
    auto* cancel = new QPushButton("キャンセル", &dialog);
    auto* hint = new QPushButton("ヒントを表示", &dialog);
    yes->setObjectName("Command_yes");
    cancel->setObjectName("Command_cancel");
    hint->setObjectName("Command_hint");
    for (auto* b : {yes, cancel, hint})
        row->addWidget(b);
    layout->addLayout(row);
    yes->setDefault(true);

    QObject::connect(yes, &QPushButton::clicked, &dialog, [&] {
        s.run.hintAnswer = 1;
        dialog.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, [&] {
        s.run.hintAnswer = 2;
        dialog.reject();
    });
    // The hint opens beside the question, which stays.
    QObject::connect(hint, &QPushButton::clicked, &dialog, [&] {
        OpenHint(s);
        s.ui.viewChanged();
        dialog.raise();
        dialog.activateWindow();
    });

    // Top edge at the main window's vertical middle, centred across it.
    dialog.adjustSize();
    if (mainWindow) {
        const QRect frame = mainWindow->frameGeometry();
        dialog.move(frame.x() + (frame.width() - dialog.width()) / 2, frame.y() + frame.height() / 2);
    }
    dialog.exec();
    return s.run.hintAnswer;
}

}  // namespace vx
