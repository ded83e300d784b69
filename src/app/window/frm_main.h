// The main window: every control, the serial port, and the run-time state.
//
// The window inherits its state (MainState) so each member carries its own
// name; the poll engine works on that state and reaches the controls only
// through the PollHost calls implemented here.
#pragma once

#include <QWidget>
#include <array>
#include <filesystem>
#include <memory>

#include "app/window/app_environment.h"
#include "engine/line_driver.h"
#include "engine/main_state.h"
#include "engine/module_search.h"
#include "engine/poll_engine.h"
#include "engine/search_port.h"
#include "log/counter_log.h"
#include "protocol/frames.h"
#include "protocol/reply_decoder.h"
#include "ui/windows/frm_sub.h"

class QCheckBox;
class QFileSystemWatcher;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QAction;
class QPushButton;
class QRadioButton;

namespace tally {

class FrmLine;
class LineHistory;
class FrmLog;
class FrmTrend;
class FrmStations;
class StationFilter;
class StationTable;
class StationsModel;
class Lamp;
class ReadConfirmation;
class TrendModel;

class FrmMain : public QWidget, public MainState, public PollHost, public EnableFlagsOwner {
    Q_OBJECT
  public:
    explicit FrmMain(const AppEnvironment& env, QWidget* parent = nullptr);
    ~FrmMain() override;

    // Start-up, in its fixed order; the last step applies the settings file.
    void Form_Load();

    // --- Controls (objectName = the name below; arrays add "_" and the index) ---
    // One menu bar; each later window adds its own entries in buildMenus().
    QMenuBar* menuBar = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuLog = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuView = nullptr;
    QAction* mnuLine = nullptr;
    QAction* mnuTrend = nullptr;
    QAction* mnuStations = nullptr;
    QMenu* mnuTools = nullptr;
    QAction* mnuScan = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuManual = nullptr;
    QAction* mnuAbout = nullptr;

    QGroupBox* Frame1 = nullptr;
    QLabel* labCOMM = nullptr;
    QComboBox* cmbCOMM = nullptr;
    QLabel* labBaud = nullptr;
    QComboBox* cmbBaud = nullptr;
    QLabel* labStatiosn = nullptr;
    QComboBox* cmbStation = nullptr;
    QPushButton* cmdCOMM = nullptr;
    Lamp* shpCOMM = nullptr;

    QGroupBox* fmeProtocol = nullptr;
    std::array<QRadioButton*, 3> optProtocol{};

    QGroupBox* fmeRead = nullptr;
    QCheckBox* chkRead = nullptr;
    QLineEdit* txtAutoRead = nullptr;
    QLabel* labAuto = nullptr;
    QCheckBox* chkDC = nullptr;
    QCheckBox* chkDI = nullptr;
    QCheckBox* chkDO = nullptr;

    QGroupBox* fmeMonitor = nullptr;
    std::array<QLabel*, 8> labCh{};
    QLabel* labCTRaw = nullptr;
    std::array<QLineEdit*, 8> txtCTRaw{};
    std::array<QLabel*, 8> labXX{};
    QLabel* labCTMulti = nullptr;
    std::array<QLineEdit*, 8> txtCTMulti{};
    std::array<QLabel*, 8> labEQ{};
    QLabel* labCTVal = nullptr;
    std::array<QLineEdit*, 8> txtCTVal{};

    QGroupBox* fmeDI = nullptr;
    QLabel* labDIVal = nullptr;
    std::array<QLabel*, 8> labDI{};
    std::array<Lamp*, 8> shpDI{};

    QGroupBox* fmeDO = nullptr;
    QLabel* labDOVal = nullptr;
    // Index 1-8; element 0 is unused so that the index is the output number.
    std::array<QPushButton*, 9> cmdDO{};
    QPushButton* cmdDoON = nullptr;
    QPushButton* cmdDoOFF = nullptr;
    QWidget* Shape2 = nullptr;

    QGroupBox* fmeCT = nullptr;
    QCheckBox* chkCTClear = nullptr;
    QCheckBox* chkCTSet = nullptr;
    QLineEdit* txtCTSet = nullptr;
    QLabel* labWDC = nullptr;
    QComboBox* cmbDC = nullptr;
    QPushButton* cmdCTSet = nullptr;

    QGroupBox* Frame2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* labReport = nullptr;
    QLabel* imgDC = nullptr;

    // The engine's timers, made and wired by the line driver.
    Timer* tmrRead = nullptr;
    Timer* tmrNow = nullptr;
    // While off line: refreshes the port list when adapters come or go.
    std::unique_ptr<Timer> tmrPorts;
    // Ticks the probe on the line while the module search runs.
    Timer* tmrProbe = nullptr;
    SerialComponent& mscCOMM;

    // The counter-enable dialog, created at start-up and kept until the end.
    FrmSub* frmSub = nullptr;
    // The line monitor, created the first time it is asked for; it shows lineHistory_.
    FrmLine* frmLine = nullptr;
    // The counter log window, made when first asked for; it logs while hidden too.
    FrmLog* frmLog = nullptr;
    // The trend chart, made when first opened and kept (hidden) from then on.
    FrmTrend* frmTrend = nullptr;
    // The Stations view, made when first opened and kept (hidden) from then on.
    FrmStations* frmStations = nullptr;

    PollEngine& engine() { return *engine_; }
    // The manual Help > Manual opens (empty when none is found).
    std::filesystem::path ManualFile() const;
    ModuleSearch& moduleSearch() { return *search_; }

    // --- Application shell ---
    void optProtocol_Click(int index);
    void SetControlsOnline(bool online);
    void ApplySettings();
    void SaveSettings();
    // What the window remembers in the user's own settings rather than the settings
    // file (the protocol), restored after the file at start-up and saved with it.
    void ApplyWindowState();
    void SaveWindowState();

    // --- Serial link ---
    void ListPorts();
    void cmbCOMM_Change();
    void cmbCOMM_KeyDown(int keyCode);
    void cmbStation_Change();
    void cmdCOMM_Click();
    void tmrPorts_Timer();
    // Present while the port folders are watched (the port timer then backs off).
    QFileSystemWatcher* portWatch() const { return portWatch_; }

    // --- Find Module ---
    // Opens the search dialog on the port in the port field (off line only) and
    // takes the module chosen with "Use" into the fields.
    void mnuScan_Click();
    void UseFoundModule(const FoundModule& module);

    // --- Poll cycle (the window's side) ---
    void chkDC_Click();
    void chkRead_Click();
    void txtAutoRead_Change();

    // --- Reply decoding applied to the window ---
    // Only the main station's replies reach the window's fields.
    void ApplyStationReply(int station, const ReplyMeaning& meaning) override;
    void ApplyReply(const ReplyMeaning& meaning) override;
    void ApplyOutputAck();
    void ShowInputs();
    void ShowOutputs();
    void ShowCounterRow(int k);
    // Channel k's multiplier (1-8) as every scaled value takes it: the leading
    // number of its field, read in this one place.
    double Multiplier(int k) const;
    void ShowCounters();

    // --- Several stations ---
    // The station the main window shows and commands (cmbStation), -1 when its text is none.
    int MainStation() const;
    // The station of a Stations view row becomes the main window's: its last
    // values are shown at once, grey where its last read of their kind was not good.
    void ChooseStation(int station);
    StationsModel& stationsModel() { return *stationsModel_; }

    // --- Device operations ---
    void cmdDO_Click(int index);
    void cmdDoON_Click();
    void cmdDoOFF_Click();
    void chkCTClear_Click();
    void chkCTSet_Click();
    void cmdCTSet_Click();
    void StatusDC(std::int16_t iCh, std::int16_t iVal) override;
    void DSResponse() override;

    // --- PollHost ---
    bool LineOpen() const override;
    bool ReadTicked() const override;
    void UntickRead() override;
    int ReadBoxValue(ReadKind kind) const override;
    void ShowStatus(const std::string& text) override;
    void DecodeReply() override;
    void ClearBusyMarkers() override;
    int CounterSelectorNumber() const override;
    void PortFailed(const std::string& reason) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildUi();
    void buildMenus();
    void mnuAbout_Click();
    void mnuManual_Click();
    void mnuLine_Click();
    void mnuLog_Click();
    // What a log row needs from the window when it is built.
    LogContext logContext() const;
    void mnuTrend_Click();
    void mnuStations_Click();
    // Each cycle reads the main station, then (the view open) the other listed ones.
    void walkStations();
    std::string mainStationHex() const;
    void applyStationsState();
    void saveStationsState();
    void connectHandlers();
    void installFieldFilters();
    // The closing steps of the open/close button, also taken when opening fails.
    void goOffLine(const QString& reason);
    void queueCommand(std::int16_t command, const std::string& frame);
    void queueOutputWrite(std::int16_t target, const Request& request);
    bool ownProtocolOnly(const QString& what, QCheckBox* box);
    void showEnableStatus(const std::array<std::int16_t, 8>& flags);
    // Output button k (1-8) on or off, grey when on but not confirmed.
    void showOutputButton(std::size_t k, bool on);
    // Every counter field, input lamp and output button as confirmed or not.
    void showConfirmation();
    void updatePortToolTip();
    void watchPortFolders();

    AppEnvironment env_;
    std::unique_ptr<LineDriver> line_;
    PollEngine* engine_ = nullptr;
    // The monitor's rows and statistics, kept from the start whether it is open or not.
    std::unique_ptr<LineHistory> lineHistory_;
    std::unique_ptr<SearchPort> searchPort_;
    std::unique_ptr<ModuleSearch> search_;
    // Collects from the start, so the chart shows the recent past when opened.
    std::unique_ptr<TrendModel> trendModel_;
    // Which values on show the latest read of their kind confirmed; the others are grey.
    std::unique_ptr<ReadConfirmation> confirmation_;
    // What is known of every station, from the start; the view shows it.
    std::unique_ptr<StationTable> stationTable_;
    std::unique_ptr<StationsModel> stationsModel_;
    // The chart and the confirmations hear only the main station's events.
    std::unique_ptr<StationFilter> trendEvents_;
    std::unique_ptr<StationFilter> confirmationEvents_;
    QFileSystemWatcher* portWatch_ = nullptr;
    bool unloaded_ = false;
    bool listingPorts_ = false;
};

}  // namespace tally
