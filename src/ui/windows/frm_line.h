// The line monitor window: every exchange on the line and the line's statistics.
//
// It shows the line history the program keeps from its start (rows and
// statistics); nothing it does reaches the line.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "engine/line_statistics.h"
#include "ui/models/line_history.h"
#include "ui/models/line_model.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace tally {

class FrmLine : public QWidget {
    Q_OBJECT
  public:
    explicit FrmLine(LineHistory& history, QWidget* parent = nullptr);
    ~FrmLine() override;

    QTableView* tblLine = nullptr;
    QCheckBox* chkLinePause = nullptr;
    QPushButton* cmdLineClear = nullptr;
    QPushButton* cmdLineSave = nullptr;
    QGroupBox* fmeStats = nullptr;
    QLabel* labStatRequests = nullptr;
    QLabel* labStatReplies = nullptr;
    QLabel* labStatTimeouts = nullptr;
    QLabel* labStatErrors = nullptr;
    QLabel* labStatExceptions = nullptr;
    QLabel* labStatTime = nullptr;
    QPushButton* cmdStatReset = nullptr;

    LineModel& Model() { return history_.Model(); }
    const LineStatistics& Statistics() const { return history_.Statistics(); }

    void chkLinePause_Click();
    void cmdLineClear_Click();
    void cmdLineSave_Click();
    void cmdStatReset_Click();
    // Copies the selected rows, tab-separated, one line each.
    void CopySelection();
    // Writes every row shown to the file; empty on success, otherwise why it failed.
    QString SaveTo(const QString& path) const;
    // Brings the figures up to date now (otherwise with the next rows).
    void ShowStatistics();
    // New rows and figures are shown at most this often: every repaint of the
    // table costs, and a poll cycle's exchanges come within a fraction of a second.
    // 0 shows them on the next event-loop turn.
    void SetRefreshInterval(int ms);

    // Asks where to save (a suggested path in, empty out for "cancelled");
    // empty means a file dialog.
    std::function<QString(const QString& suggested)> chooseSaveFile;
    // Tells the operator a save went wrong; empty means a warning box.
    std::function<void(const QString& title, const QString& text)> messageBox;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildUi();
    // Wide enough for every column, as far as the screen allows.
    int defaultWidth() const;
    void saveGeometryToSettings();

    void scheduleStatistics();

    LineHistory& history_;
    LineModel& model_;
    QTimer* statsTimer_ = nullptr;
    int refreshMs_ = 0;
    // New rows are scrolled into view while the view sits at its last row.
    bool following_ = true;
};

}  // namespace tally
