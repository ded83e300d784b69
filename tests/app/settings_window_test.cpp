// The settings file as the window reads it at start-up and writes it at close.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>

#include "window_fixture.h"

namespace tally::testing {
namespace {

class SettingsWindow : public WindowTest {
  protected:
    void SetUp() override {}  // each test writes its file first

    QString file() const { return dir.filePath("InitialVL4300.ini"); }

    void writeFile(const QByteArray& bytes) {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }

    QByteArray readFile() const {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The sections the tests vary; the reader finds each by its name.
    static QByteArray layout(const QByteArray& comm, const QByteArray& station,
                             const QByteArray& baud, const QByteArray& dc, const QByteArray& every,
                             const QByteArray& multiply3) {
        return "[KORVI]\r\n\r\n[PortCFG]\r\nComm=" + comm + "\r\nStationNo=" + station +
               "\r\nBaudRate=" + baud + "\r\n\r\n[Read Setting]\r\nDC=" + dc +
               "\r\nDI=0\r\nDO=1\r\nEvery=" + every +
               "\r\n\r\n[Multiply]\r\nMultiply3=" + multiply3 + "\r\n\r\n";
    }
};

TEST_F(SettingsWindow, NoFileIsSilentAndTheControlsRoundTripThroughTheFile) {
    start();
    EXPECT_TRUE(messages.empty());
    w->cmbCOMM->setEditText("2");
    w->cmbStation->setEditText("1");
    w->cmbBaud->setCurrentText("57600");
    w->chkDC->setChecked(true);
    w->txtAutoRead->setText("1");
    w->txtCTMulti[2]->setText("");
    w->close();
    const QByteArray written = readFile();
    EXPECT_TRUE(written.contains("Comm=\"2\"\r\nStationNo=\"1\"\r\nBaudRate=\"57600\"\r\n"));
    EXPECT_TRUE(written.contains("\r\nDC=1\r\nDI=0\r\nDO=0\r\nEvery=1\r\n"));  // ticked is 1
    EXPECT_TRUE(written.contains("\r\nMultiply3=\r\n"));
    // It reads back into the same controls, and comes back byte for byte.
    start();
    EXPECT_EQ(w->cmbCOMM->currentText() + w->cmbStation->currentText(), "21");
    w->close();
    EXPECT_EQ(readFile(), written);
}

TEST_F(SettingsWindow, AGreyedBoxComesOnlyFromTheFileAndAClickMakesItTwoState) {
    writeFile(layout("\"3\"", "\"5\"", "\"9600\"", "2", "0", "1.0"));
    start();
    EXPECT_EQ(w->chkDC->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(w->chkDO->checkState(), Qt::Checked);  // DO=1
    w->close();
    EXPECT_TRUE(readFile().contains("\r\nDC=2\r\nDI=0\r\nDO=1\r\n"));
    start();
    QString states;
    for (int click = 0; click < 3; ++click) {
        w->chkDC->click();
        states += QString::number(w->chkDC->checkState());
    }
    EXPECT_EQ(states, "202");  // checked, unchecked, checked: never greyed again
}

// Each value goes through its control's own checks; an empty file is error 62.
TEST_F(SettingsWindow, FileValuesMeetTheControlsChecksAndAnEmptyFileShowsErrorCode62) {
    writeFile("");
    start();
    EXPECT_EQ(messages, (decltype(messages){{"Error Message", "62"}}));
    writeFile(layout("\"7\"", "12", "\"115200\"", "abc", "75", "abc"));
    messages.clear();
    start();
    EXPECT_TRUE(messages.empty());
    // A rate not in the list is left alone; a multiplier is taken as written.
    EXPECT_EQ(w->cmbCOMM->currentText() + " " + w->cmbBaud->currentText() + " " +
                  w->txtAutoRead->text() + " " + w->txtCTMulti[2]->text(),
              "7 19200 60 abc");
    EXPECT_FALSE(w->chkDC->isChecked());
    EXPECT_FALSE(w->cmdCOMM->isEnabled());  // unquoted, the station is empty
}

// Neither a long value from the file nor the preset widened for "4294967295.0" lifts
// the ten-character limit of typing and pasting.
TEST_F(SettingsWindow, ALongValueFromTheFileIsNotCutAndTheFieldKeepsItsLimit) {
    writeFile(layout("\"3\"", "\"5\"", "\"9600\"", "1", "0", "12345.678901"));
    start();
    openPort();  // the fields take keys only on line
    EXPECT_EQ(w->txtCTMulti[2]->text(), "12345.678901");
    w->txtCTSet->setText("9999999999");
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w->txtCTSet, &leave);
    ASSERT_EQ(w->txtCTSet->text(), "4294967295.0");
    QGuiApplication::clipboard()->setText("123456789012");
    for (QLineEdit* field : {w->txtCTMulti[2], w->txtCTSet}) {
        QKeyEvent digit(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, "1");
        QApplication::sendEvent(field, &digit);
        EXPECT_EQ(field->text().size(), 12);
        field->selectAll();
        QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
        QApplication::sendEvent(field, &paste);
        QApplication::sendEvent(field, &digit);  // nothing fits after the tenth
        EXPECT_EQ(field->text(), "1234567890");
    }
}

// The settings file's layout has no place for the protocol: the window keeps it in
// the user's own settings, as the other windows keep theirs.
TEST_F(SettingsWindow, TheProtocolIsRememberedBesideTheFile) {
    start();
    EXPECT_TRUE(w->optProtocol[0]->isChecked());  // a first start
    w->optProtocol[2]->setChecked(true);
    w->close();
    start();
    EXPECT_TRUE(w->optProtocol[2]->isChecked());
    // Whatever else the user's settings say, a start begins with the own protocol.
    UserSettings()->setValue(QStringLiteral("mainWindow/protocol"), QStringLiteral("Profibus"));
    start();
    EXPECT_TRUE(w->optProtocol[0]->isChecked());
}

}  // namespace
}  // namespace tally::testing
