// The settings file, read into the controls at start-up and written at unload,
// and what the window remembers beside it.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/window/frm_main.h"
#include "app/window/settings_file.h"
#include "ui/windows/user_settings.h"

namespace tally {
namespace {

QString latin1(const std::string& bytes) {
    // 8-bit text: each byte is one character, so every value round-trips.
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string bytes(const QString& text) {
    const QByteArray latin = text.toLatin1();
    return std::string(latin.constData(), static_cast<std::size_t>(latin.size()));
}

// The file's check-box values and the states they stand for. Qt numbers the
// states otherwise (1 partially checked, 2 checked), so no value is cast.
constexpr std::pair<int, Qt::CheckState> kCheckBoxValues[] = {
    {0, Qt::Unchecked}, {1, Qt::Checked}, {2, Qt::PartiallyChecked}};

void applyCheckBox(QCheckBox* box, const std::optional<int>& value) {
    if (!value) return;
    for (const auto& [fileValue, state] : kCheckBoxValues) {
        if (fileValue != *value) continue;
        // Only the file greys a box; its next change makes it two-state again.
        if (state == Qt::PartiallyChecked) box->setTristate(true);
        // Setting the state runs the box's own click handling when it changes.
        box->setCheckState(state);
    }
}

int checkValue(const QCheckBox* box) {
    for (const auto& [fileValue, state] : kCheckBoxValues) {
        if (state == box->checkState()) return fileValue;
    }
    return 0;
}

// The protocol option's caption: the settings file's layout has no place for it.
const QString kProtocolKey = QStringLiteral("mainWindow/protocol");

std::filesystem::path orBeside(const std::filesystem::path& file,
                               const std::filesystem::path& appDir) {
    return file.empty() ? SettingsFilePath(appDir) : file;
}

}  // namespace

void FrmMain::ApplySettings() {
    const SettingsReadResult read = ReadSettingsText(orBeside(env_.settings.readFile, env_.appDir));
    if (read.errorCode != 0 && env_.messageBox) {
        env_.messageBox(QStringLiteral("Error Message"), QString::number(read.errorCode));
    }
    if (read.text.empty()) return;
    const ParsedSettings s = ParseSettings(read.text);
    // Each assignment runs the change handling of its control, as an edit would.
    if (s.comm) cmbCOMM->setEditText(latin1(*s.comm));
    if (s.station) cmbStation->setEditText(latin1(*s.station));
    if (s.baud) {
        const int index = cmbBaud->findText(latin1(*s.baud), Qt::MatchExactly);
        if (index >= 0) cmbBaud->setCurrentIndex(index);
    }
    applyCheckBox(chkDC, s.dc);
    applyCheckBox(chkDI, s.di);
    applyCheckBox(chkDO, s.do_);
    // Values from the file are not cut to the fields' lengths; the filters keep the
    // lengths for typing and pasting.
    if (s.every) txtAutoRead->setText(latin1(*s.every));
    for (std::size_t i = 0; i < 8; ++i) {
        // Multipliers are taken as written; they are normalised when the operator leaves them.
        if (s.multiply[i]) txtCTMulti[i]->setText(latin1(*s.multiply[i]));
    }
}

void FrmMain::SaveSettings() {
    SettingsValues values;
    values.comm = bytes(cmbCOMM->currentText());
    values.station = bytes(cmbStation->currentText());
    values.baud = bytes(cmbBaud->currentText());
    values.dc = checkValue(chkDC);
    values.di = checkValue(chkDI);
    values.do_ = checkValue(chkDO);
    values.every = bytes(txtAutoRead->text());
    for (std::size_t i = 0; i < 8; ++i)
        values.multiply[i] = bytes(txtCTMulti[i]->text());
    const std::filesystem::path file = orBeside(env_.settings.saveFile, env_.appDir);
    // The user's configuration folder may not exist yet.
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    const std::string failure = WriteSettingsFile(file, BuildSettingsText(values));
    // The program is closing: say why the settings were not kept, where it can be seen.
    if (!failure.empty()) {
        // The reason already says that the settings were not saved.
        qWarning("Tallyscope: %s", failure.c_str());
        if (env_.messageBox) {
            env_.messageBox(QStringLiteral("Settings not saved"),
                            QString::fromLocal8Bit(failure.c_str()));
        }
    }
}

void FrmMain::ApplyWindowState() {
    const QString protocol = UserSettings()->value(kProtocolKey).toString();
    // Ticking the option runs its click handling, as the operator's click would.
    for (QRadioButton* option : optProtocol) {
        if (option->text() == protocol) option->setChecked(true);
    }
    applyStationsState();
}

void FrmMain::SaveWindowState() {
    for (const QRadioButton* option : optProtocol) {
        if (option->isChecked()) UserSettings()->setValue(kProtocolKey, option->text());
    }
    saveStationsState();
}

}  // namespace tally
