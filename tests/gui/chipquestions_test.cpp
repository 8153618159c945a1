// The two questions about the chip's own data on widgets: a chip that is not
// the selected device, and a lost calibration word. Enter stops both;
// nothing goes on unless the user says so.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "ui/chipvaluedialog.h"
#include "ui/qtui.h"

using namespace vx;

namespace {

// Acts on the modal dialog once it is up.
void WhenShown(const std::function<void(QWidget*)>& act) {
    QTimer::singleShot(0, [act] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        act(QApplication::activeModalWidget());
    });
}

void PressEnter(QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Return); }

}  // namespace

class ChipQuestionsTest : public QObject {
    Q_OBJECT
private slots:
    void wrongChipStopsUnlessYes();
    void lostValuesAreCancelledEnteredOrDefaulted();
};

void ChipQuestionsTest::wrongChipStopsUnlessYes() {
    QtUi ui;
    WhenShown(PressEnter);
    QVERIFY(!ui.askWrongChip("ソケットのチップは選択したデバイス（PIC12F675）ではありません。"));
    WhenShown([](QWidget* box) { static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click(); });
    QVERIFY(ui.askWrongChip("不明なID 0x1234"));
}

void ChipQuestionsTest::lostValuesAreCancelledEnteredOrDefaulted() {
    ChipValueQuestion q;
    q.text = "チップのキャリブレーション値 0x0000 は有効な値ではなく、";
    q.calibration = true;
    q.bandGap = true;
    q.calibrationDefault = "0x3480";
    q.bandGapDefault = "3";

    WhenShown([](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("Txt_calibration")->setText("0x3455");
        PressEnter(dialog);
    });
    QCOMPARE(static_cast<int>(AskChipValues(nullptr, q).choice), static_cast<int>(ChipValueChoice::Cancel));

    WhenShown([](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("Txt_calibration")->setText("0x3455");
        dialog->findChild<QLineEdit*>("Txt_band_gap")->setText("2");
        dialog->findChild<QPushButton*>("Cmd_enter")->click();
    });
    const ChipValueAnswer entered = AskChipValues(nullptr, q);
    QCOMPARE(static_cast<int>(entered.choice), static_cast<int>(ChipValueChoice::Entered));
    QCOMPARE(QString::fromStdString(entered.calibration), QString("0x3455"));
    QCOMPARE(QString::fromStdString(entered.bandGap), QString("2"));

    // A value the check refuses is said in the dialog, which stays for the user to type again.
    const ChipValueCheck check = [](const ChipValueQuestion&, const ChipValueAnswer& a) {
        return a.calibration == "0x0C55" ? std::string("キャリブレーション値 '0x0C55' は違います。") : std::string();
    };
    bool stayed = false;
    QString said;
    WhenShown([&](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("Txt_calibration")->setText("0x0C55");
        dialog->findChild<QLineEdit*>("Txt_band_gap")->setText("2");
        dialog->findChild<QPushButton*>("Cmd_enter")->click();
        stayed = dialog->isVisible();
        said = dialog->findChild<QLabel*>("LabelChipValueNote")->text();
        dialog->findChild<QLineEdit*>("Txt_calibration")->setText("0x3455");
        dialog->findChild<QPushButton*>("Cmd_enter")->click();
    });
    const ChipValueAnswer retyped = AskChipValues(nullptr, q, check);
    QVERIFY(stayed);
    QCOMPARE(said, QString("キャリブレーション値 '0x0C55' は違います。"));
    QCOMPARE(static_cast<int>(retyped.choice), static_cast<int>(ChipValueChoice::Entered));
    QCOMPARE(QString::fromStdString(retyped.calibration), QString("0x3455"));

    WhenShown([](QWidget* dialog) {
        auto* useDefault = dialog->findChild<QPushButton*>("Cmd_default");
        QVERIFY(useDefault->text().contains("0x3480, 3"));
        useDefault->click();
    });
    QCOMPARE(static_cast<int>(AskChipValues(nullptr, q).choice), static_cast<int>(ChipValueChoice::UseDefault));
}

QTEST_MAIN(ChipQuestionsTest)
#include "chipquestions_test.moc"
