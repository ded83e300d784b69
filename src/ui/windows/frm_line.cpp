#include "ui/windows/frm_line.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/paint/cached_cell_delegate.h"
#include "ui/paint/opaque.h"
#include "ui/windows/control_names.h"
#include "ui/windows/user_settings.h"

namespace tally {

namespace {

const QString kGeometryKey = QStringLiteral("lineMonitor/geometry");
const QString kSaveFolderKey = QStringLiteral("lineMonitor/saveFolder");

// Around a cell's text: the item's margins, the grid line, and some air.
constexpr int kCellPadding = 16;
// The own protocol's write of all outputs to station 1.
const std::string kLongestRequest = "#01WDO12345678,11111111\r";

QString Ms(double ms) {
    return QString::number(ms, 'f', 1);
}

}  // namespace

FrmLine::FrmLine(LineHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), model_(history.Model()) {
    setObjectName(QStringLiteral("frmLine"));
    setWindowTitle(QStringLiteral("Tallyscope, Line Monitor"));
    setFont(QFont(QStringLiteral("Tahoma")));
    statsTimer_ = new QTimer(this);
    statsTimer_->setSingleShot(true);
    connect(statsTimer_, &QTimer::timeout, this, [this] {
        if (isVisible()) ShowStatistics();
    });
    buildUi();
    SetRefreshInterval(250);
    resize(defaultWidth(), 520);
    restoreGeometry(UserSettings()->value(kGeometryKey).toByteArray());
    ShowStatistics();
    connect(&history_, &LineHistory::statisticsChanged, this, [this] { scheduleStatistics(); });
}

FrmLine::~FrmLine() = default;

void FrmLine::buildUi() {
    auto* root = new QVBoxLayout(this);

    auto* bar = new QHBoxLayout;
    chkLinePause = named(new QCheckBox(QStringLiteral("Pause"), this), "chkLinePause");
    cmdLineClear = named(new QPushButton(QStringLiteral("Clear"), this), "cmdLineClear");
    cmdLineSave = named(new QPushButton(QStringLiteral("Save\u2026"), this), "cmdLineSave");
    bar->addWidget(chkLinePause);
    bar->addWidget(cmdLineClear);
    bar->addWidget(cmdLineSave);
    bar->addStretch();
    root->addLayout(bar);

    tblLine = named(new QTableView(this), "tblLine");
    tblLine->setModel(&model_);
    CachedCellDelegate::Use(tblLine);
    tblLine->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblLine->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tblLine->setWordWrap(false);
    tblLine->setAlternatingRowColors(true);
    tblLine->verticalHeader()->setVisible(false);
    // Fixed row heights: the view never measures rows as they come and go.
    tblLine->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    const QFontMetrics fm(tblLine->font());
    const QFontMetrics fixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    tblLine->verticalHeader()->setDefaultSectionSize(std::max(fm.height(), fixed.height()) + 4);
    // Each column as wide as its heading and as its text in a typical row: every
    // request of every protocol (the longest is the own protocol's write of all
    // outputs) and every reply but the counters' long ones, which end in "…".
    QHeaderView* header = tblLine->horizontalHeader();
    const auto fit = [&](int column, const QFontMetrics& metrics, const QString& sample) {
        tblLine->setColumnWidth(column, std::max(metrics.horizontalAdvance(sample) + kCellPadding,
                                                 header->sectionSizeHint(column)));
    };
    fit(LineModel::ColTime, fm, QStringLiteral("00:00:00.000"));
    fit(LineModel::ColDirection, fm, QStringLiteral("TX"));
    fit(LineModel::ColStation, fm, QStringLiteral("31"));
    fit(LineModel::ColProtocol, fm, QStringLiteral("Modbus Ascii"));
    fit(LineModel::ColHex, fixed, LineHexText(kLongestRequest));
    fit(LineModel::ColText, fixed, LineAsciiText(kLongestRequest));
    fit(LineModel::ColOutcome, fm, QStringLiteral("Read DC Status OK"));
    fit(LineModel::ColReplyMs, fm, LineReplyMsText(9999.999));
    root->addWidget(tblLine, 1);

    auto* copy = new QAction(QStringLiteral("Copy"), tblLine);
    copy->setObjectName(QStringLiteral("actLineCopy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    tblLine->addAction(copy);
    tblLine->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copy, &QAction::triggered, this, [this] { CopySelection(); });

    fmeStats = named(new QGroupBox(QStringLiteral("Statistics"), this), "fmeStats");
    auto* grid = new QGridLayout(fmeStats);
    labStatRequests = named(new OpaqueLabel(fmeStats), "labStatRequests");
    labStatReplies = named(new OpaqueLabel(fmeStats), "labStatReplies");
    labStatTimeouts = named(new OpaqueLabel(fmeStats), "labStatTimeouts");
    labStatErrors = named(new OpaqueLabel(fmeStats), "labStatErrors");
    labStatErrors->setToolTip(QStringLiteral("Checksum errors and bad replies"));
    labStatExceptions = named(new OpaqueLabel(fmeStats), "labStatExceptions");
    labStatTime = named(new OpaqueLabel(fmeStats), "labStatTime");
    labStatTime->setToolTip(
        QStringLiteral("Reply time over the last %1 good replies, from the request's last byte "
                       "to the reply's completion")
            .arg(LineStatistics::ReplyWindow));
    cmdStatReset = named(new QPushButton(QStringLiteral("Reset"), fmeStats), "cmdStatReset");
    grid->addWidget(labStatRequests, 0, 0);
    grid->addWidget(labStatReplies, 0, 1);
    grid->addWidget(labStatTimeouts, 0, 2);
    grid->addWidget(labStatErrors, 0, 3);
    grid->addWidget(labStatExceptions, 0, 4);
    grid->addWidget(cmdStatReset, 0, 5, 2, 1);
    grid->addWidget(labStatTime, 1, 0, 1, 5);
    root->addWidget(fmeStats);

    connect(chkLinePause, &QCheckBox::toggled, this, [this] { chkLinePause_Click(); });
    connect(cmdLineClear, &QPushButton::clicked, this, [this] { cmdLineClear_Click(); });
    connect(cmdLineSave, &QPushButton::clicked, this, [this] { cmdLineSave_Click(); });
    connect(cmdStatReset, &QPushButton::clicked, this, [this] { cmdStatReset_Click(); });

    // Follow the newest row while the view sits at the bottom; once the operator
    // scrolls up, leave the view where it is.
    QScrollBar* scroll = tblLine->verticalScrollBar();
    connect(scroll, &QScrollBar::valueChanged, this,
            [this, scroll](int value) { following_ = value >= scroll->maximum(); });
    // New rows are laid out at once when followed; the range also changes when the
    // view is resized or laid out later.
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this] {
        // The figures with the rows they count: one repaint for both.
        if (isVisible()) ShowStatistics();
        if (following_) tblLine->scrollToBottom();
    });
    connect(scroll, &QScrollBar::rangeChanged, this, [this, scroll](int, int maximum) {
        if (following_) scroll->setValue(maximum);
    });
    // Rows dropped from the top would slide the operator's rows up and away:
    // keep the same rows in view.
    connect(&model_, &QAbstractItemModel::rowsRemoved, this,
            [this, scroll](const QModelIndex&, int first, int last) {
                if (!following_ && model_.rowCount() > 0)
                    scroll->setValue(std::max(0, scroll->value() - (last - first + 1)));
            });
}

int FrmLine::defaultWidth() const {
    // Every column whole, beside the scroll bar, within the screen.
    const int frame = 2 * tblLine->frameWidth();
    const int scrollBar = tblLine->verticalScrollBar()->sizeHint().width();
    const QMargins margins = layout()->contentsMargins();
    int wanted = tblLine->horizontalHeader()->length() + frame + scrollBar + margins.left() +
                 margins.right();
    if (const QScreen* shown = screen()) wanted = std::min(wanted, shown->availableSize().width());
    return std::max(wanted, minimumSizeHint().width());
}

void FrmLine::scheduleStatistics() {
    // Shown anew with the rows of a cycle as it ends, which stops this timer: it
    // is for changes that bring no rows.
    if (!statsTimer_->isActive()) statsTimer_->start(refreshMs_);
}

void FrmLine::SetRefreshInterval(int ms) {
    refreshMs_ = std::max(ms, 0);
    model_.SetCommitDelay(refreshMs_);
}

void FrmLine::ShowStatistics() {
    statsTimer_->stop();
    const LineStatistics& stats = history_.Statistics();
    // A label given its own text again would still lay the window out anew.
    const auto setText = [](QLabel* label, const QString& text) {
        if (label->text() != text) label->setText(text);
    };
    setText(labStatRequests, QStringLiteral("Requests: %1").arg(stats.Requests()));
    setText(labStatReplies, QStringLiteral("Good replies: %1").arg(stats.Replies()));
    setText(labStatTimeouts, QStringLiteral("Timeouts: %1").arg(stats.Timeouts()));
    setText(labStatErrors, QStringLiteral("Errors: %1").arg(stats.Errors()));
    setText(labStatExceptions, QStringLiteral("Exceptions: %1").arg(stats.Exceptions()));
    const ReplyTimeSummary times = stats.ReplyTimes();
    if (times.count == 0) {
        setText(labStatTime, QStringLiteral("Reply time (ms): min \u2013  mean \u2013  p95 \u2013  "
                                            "max \u2013"));
    } else {
        setText(labStatTime,
                QStringLiteral("Reply time (ms): min %1  mean %2  p95 %3  max %4")
                    .arg(Ms(times.minMs), Ms(times.meanMs), Ms(times.p95Ms), Ms(times.maxMs)));
    }
}

void FrmLine::chkLinePause_Click() {
    model_.SetPaused(chkLinePause->isChecked());
}

void FrmLine::cmdLineClear_Click() {
    model_.Clear();
    following_ = true;
}

void FrmLine::cmdStatReset_Click() {
    history_.ResetStatistics();
    ShowStatistics();
}

void FrmLine::CopySelection() {
    QModelIndexList rows = tblLine->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QString text;
    for (const QModelIndex& index : rows)
        text += model_.RowText(index.row()) + QLatin1Char('\n');
    QApplication::clipboard()->setText(text);
}

QString FrmLine::SaveTo(const QString& path) const {
    // Written beside the target and renamed over it: a failed save leaves an older file whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return file.errorString();
    for (int row = 0; row < model_.rowCount(); ++row) {
        const QByteArray line = (model_.RowText(row) + QLatin1Char('\n')).toUtf8();
        if (file.write(line) != line.size()) return file.errorString();
    }
    if (!file.commit()) return file.errorString();
    return QString();
}

void FrmLine::cmdLineSave_Click() {
    const auto settings = UserSettings();
    const QString folder = settings->value(kSaveFolderKey, QDir::homePath()).toString();
    const QString suggested = QDir(folder).filePath(QStringLiteral("line.txt"));
    const QString path = chooseSaveFile ? chooseSaveFile(suggested)
                                        : QFileDialog::getSaveFileName(
                                              this, QStringLiteral("Save Line Monitor"), suggested,
                                              QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty()) return;
    settings->setValue(kSaveFolderKey, QFileInfo(path).absolutePath());
    const QString error = SaveTo(path);
    if (error.isEmpty()) return;
    const QString title = QStringLiteral("Line Monitor not saved");
    const QString text = QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), error);
    if (messageBox) {
        messageBox(title, text);
    } else {
        QMessageBox::warning(this, title, text);
    }
}

void FrmLine::saveGeometryToSettings() {
    UserSettings()->setValue(kGeometryKey, saveGeometry());
}

void FrmLine::closeEvent(QCloseEvent* event) {
    saveGeometryToSettings();
    QWidget::closeEvent(event);
}

void FrmLine::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ShowStatistics();
}

}  // namespace tally
