#include "ui/windows/frm_trend.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <memory>

#include "log/log_time.h"
#include "numbers/number_text.h"
#include "ui/models/time_axis.h"
#include "ui/paint/plain_paint.h"
#include "ui/paint/trend_chart_view.h"
#include "ui/windows/control_names.h"
#include "ui/windows/user_settings.h"

namespace tally {
namespace {

const QString kGeometryKey = QStringLiteral("trend/geometry");
const QString kImageFolderKey = QStringLiteral("trend/imageFolder");
const char* const kChannelProperty = "channel";

// A reading with no neighbour, in pixels across.
constexpr int kDotSize = 7;

QImage dotImage(const QColor& color) {
    QImage image(kDotSize, kDotSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0.5, 0.5, kDotSize - 1.0, kDotSize - 1.0));
    return image;
}

QString channelName(int channel) {
    return QStringLiteral("Ch %1").arg(channel);
}

}  // namespace

QColor FrmTrend::ChannelColor(int channel) {
    static const QRgb colors[kTrendChannels] = {0x1F77B4, 0xD62728, 0x2CA02C, 0xFF7F0E,
                                                0x9467BD, 0x8C564B, 0xE377C2, 0x17BECF};
    return QColor(colors[(channel - 1) % kTrendChannels]);
}

FrmTrend::FrmTrend(TrendModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setObjectName(QStringLiteral("frmTrend"));
    setWindowTitle(QStringLiteral("Tallyscope, Trend"));
    askSaveFileName = [](QWidget* owner, const QString& caption, const QString& suggested,
                         const QString& filter) {
        return QFileDialog::getSaveFileName(owner, caption, suggested, filter);
    };
    buildUi();
    buildChart();

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setSingleShot(true);
    connect(refreshTimer_, &QTimer::timeout, this, [this] { refreshTick(); });
    model.onRowAdded = [chart = QPointer<FrmTrend>(this)] {
        if (chart) chart->rowAdded();
    };

    resize(900, 520);
    const QByteArray geometry = UserSettings()->value(kGeometryKey).toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
}

FrmTrend::~FrmTrend() {
    if (isVisible()) saveGeometryNow();
}

void FrmTrend::buildUi() {
    auto* root = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    for (int k = 1; k <= kTrendChannels; ++k) {
        auto* box =
            named(new QCheckBox(QString::number(k), this), QStringLiteral("chkTrend_%1").arg(k));
        box->setChecked(true);
        QPixmap swatch(12, 12);
        swatch.fill(ChannelColor(k));
        box->setIcon(QIcon(swatch));
        box->setToolTip(tr("Show channel %1").arg(k));
        connect(box, &QCheckBox::toggled, this, [this] { Refresh(); });
        chkTrend[static_cast<std::size_t>(k - 1)] = box;
        controls->addWidget(box);
    }
    controls->addSpacing(12);
    optTrendValue =
        named(new QRadioButton(QStringLiteral("Value"), this), QStringLiteral("optTrendValue"));
    optTrendRate =
        named(new QRadioButton(QStringLiteral("Rate"), this), QStringLiteral("optTrendRate"));
    optTrendValue->setToolTip(tr("Counter values times their multipliers"));
    optTrendRate->setToolTip(tr("Counts per second times the multipliers"));
    optTrendValue->setChecked(true);
    connect(optTrendValue, &QRadioButton::toggled, this, [this] { Refresh(); });
    controls->addWidget(optTrendValue);
    controls->addWidget(optTrendRate);
    controls->addSpacing(12);
    cmbTrendSpan = named(new QComboBox(this), QStringLiteral("cmbTrendSpan"));
    for (const TrendSpan& span : kTrendSpans)
        cmbTrendSpan->addItem(QLatin1String(span.text), span.seconds);
    cmbTrendSpan->setCurrentIndex(kDefaultTrendSpan);
    connect(cmbTrendSpan, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
    controls->addWidget(cmbTrendSpan);
    chkTrendPause =
        named(new QCheckBox(QStringLiteral("Pause"), this), QStringLiteral("chkTrendPause"));
    chkTrendPause->setToolTip(tr("Hold the chart still; readings are still collected"));
    connect(chkTrendPause, &QCheckBox::toggled, this, [this](bool on) { pauseToggled(on); });
    controls->addWidget(chkTrendPause);
    controls->addStretch(1);
    cmdTrendSave = named(new QPushButton(QStringLiteral("Save Image\u2026"), this),
                         QStringLiteral("cmdTrendSave"));
    connect(cmdTrendSave, &QPushButton::clicked, this, [this] { cmdTrendSave_Click(); });
    controls->addWidget(cmdTrendSave);
    root->addLayout(controls);

    chart = new QChart;
    chart->setObjectName(QStringLiteral("chtTrend"));
    chartView = named(TrendChartView::Make(chart, this), QStringLiteral("chartView"));
    chartView->setRenderHint(QPainter::Antialiasing);
    root->addWidget(chartView, 1);
}

void FrmTrend::buildChart() {
    chart->legend()->setAlignment(Qt::AlignBottom);
    axisX = new QCategoryAxis;
    axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axisX->setTitleText(tr("Local time"));
    axisY = new QValueAxis;
    axisY->setTickCount(6);
    // The view draws the grid (TrendChartView), unless painting is plain.
    axisX->setGridLineVisible(!Uses(Technique::Chart));
    axisY->setGridLineVisible(!Uses(Technique::Chart));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    // A time label is centred on its tick, and the newest round time can lie on the
    // plot's right edge: the margin there holds half the widest label ("hh:mm:ss").
    const int halfLabel =
        QFontMetrics(axisX->labelsFont()).horizontalAdvance(QStringLiteral("00:00:00")) / 2;
    chart->setMargins(QMargins(4, 4, std::max(4, halfLabel + 4), 4));
    // Nothing else repaints where a grid line was when an axis moves.
    const auto gridMoved = [this] { TrendChartView::GridMoved(chartView); };
    connect(axisX, &QCategoryAxis::rangeChanged, chartView, gridMoved);
    connect(axisX, &QCategoryAxis::categoriesChanged, chartView, gridMoved);
    connect(axisY, &QValueAxis::tickCountChanged, chartView, gridMoved);

    for (int k = 1; k <= kTrendChannels; ++k) {
        ChannelSeries& s = series_[static_cast<std::size_t>(k - 1)];
        addLine(k);
        // Dots are a line series with no pen and a small image at each point: a
        // scatter series makes one scene item per point, far too many for a flaky line.
        s.dots = new QLineSeries;
        s.dots->setProperty(kChannelProperty, k);
        s.dots->setName(channelName(k));
        chart->addSeries(s.dots);
        s.dots->attachAxis(axisX);
        s.dots->attachAxis(axisY);
        s.dots->setPen(Qt::NoPen);
        s.dots->setLightMarker(dotImage(ChannelColor(k)));
        // After the pen: a line series sizes its markers from its pen until told otherwise.
        s.dots->setMarkerSize(kDotSize);
        // One legend entry per channel: its first line's.
        for (QLegendMarker* marker : chart->legend()->markers(s.dots))
            marker->setVisible(false);
        connect(s.dots, &QLineSeries::hovered, this,
                [this, k](const QPointF& p, bool on) { showTooltip(k, p.x(), on); });
    }
}

QLineSeries* FrmTrend::addLine(int channel) {
    auto* line = new QLineSeries;
    line->setProperty(kChannelProperty, channel);
    line->setName(channelName(channel));
    chart->addSeries(line);
    line->attachAxis(axisX);
    line->attachAxis(axisY);
    QPen pen(ChannelColor(channel));
    pen.setWidthF(1.5);
    line->setPen(pen);
    connect(line, &QLineSeries::hovered, this,
            [this, channel](const QPointF& p, bool on) { showTooltip(channel, p.x(), on); });
    std::vector<QLineSeries*>& lines = series_[static_cast<std::size_t>(channel - 1)].lines;
    if (!lines.empty()) {
        for (QLegendMarker* marker : chart->legend()->markers(line))
            marker->setVisible(false);
    }
    lines.push_back(line);
    return line;
}

void FrmTrend::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void FrmTrend::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    refreshTimer_->stop();
    QToolTip::hideText();
    saveGeometryNow();
}

void FrmTrend::saveGeometryNow() const {
    UserSettings()->setValue(kGeometryKey, saveGeometry());
}

void FrmTrend::rowAdded() {
    // Hidden, minimized (not painted) or paused, showing or resuming redraws it.
    if (!isVisible() || isMinimized() || chkTrendPause->isChecked()) return;
    // A reading is drawn at once, in the same turn of the event loop, when the last
    // redraw is at least two pixel columns of time ago. A sooner one waits for the
    // next reading that is due, or for that long at most: redraws keep to the
    // readings' own wake-ups, and on "10 min" every second reading of a one-second
    // poll is drawn.
    const TrendView view = currentView();
    const int interval = RefreshMillis(view.spanMicros, view.columns);
    if (!drawnAt_.isValid() || drawnAt_.elapsed() >= interval) {
        refreshTimer_->start(0);
    } else if (!refreshTimer_->isActive()) {
        refreshTimer_->start(interval);
    }
}

void FrmTrend::refreshTick() {
    if (chkTrendPause->isChecked() || !isVisible()) return;
    if (drawnOnce_ && model_.Revision() == drawnRevision_) return;
    Refresh();
}

void FrmTrend::pauseToggled(bool paused) {
    if (paused) {
        // Held where it was last drawn; the model keeps taking readings meanwhile.
        updateAxisOffset();
        pausedEdgeMs_ = drawnOnce_
                            ? drawnEdgeMs_
                            : liveEdgeMs(static_cast<int>(currentView().spanMicros / 1'000'000));
    } else {
        Refresh();
    }
}

TrendView FrmTrend::currentView() const {
    TrendView view;
    view.mode =
        optTrendRate != nullptr && optTrendRate->isChecked() ? TrendMode::Rate : TrendMode::Value;
    const int index =
        std::clamp(cmbTrendSpan->currentIndex(), 0, static_cast<int>(kTrendSpans.size()) - 1);
    view.spanMicros =
        static_cast<std::int64_t>(kTrendSpans[static_cast<std::size_t>(index)].seconds) * 1'000'000;
    const int width = chart != nullptr ? static_cast<int>(chart->plotArea().width()) : 0;
    view.columns = width > 50 ? width : 800;
    for (std::size_t k = 0; k < chkTrend.size(); ++k)
        view.shown[k] = chkTrend[k]->isChecked();
    return view;
}

double FrmTrend::liveEdgeMs(int spanSeconds) const {
    double newest = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
    if (model_.Size() > 0) {
        newest = axisMillis(model_.At(model_.Size() - 1).micros);
    } else if (const auto anchor = model_.FirstEvent()) {
        newest = axisMillis(anchor->micros);
    }
    return RightEdgeMs(drawnOnce_ ? std::optional<double>(drawnEdgeMs_) : std::nullopt, newest,
                       EdgeStepMs(spanSeconds));
}

void FrmTrend::updateAxisOffset() {
    const auto anchor = model_.FirstEvent();
    if (!anchor || (offsetAnchor_ && *offsetAnchor_ == anchor->micros)) return;
    offsetAnchor_ = anchor->micros;
    offsetMs_ = static_cast<double>(anchor->utcMs) - static_cast<double>(anchor->micros) / 1000.0;
}

double FrmTrend::axisMillis(std::int64_t micros) const {
    return offsetMs_ + static_cast<double>(micros) / 1000.0;
}

std::int64_t FrmTrend::modelMicros(double axisMs) const {
    return std::llround((axisMs - offsetMs_) * 1000.0);
}

void FrmTrend::Refresh() {
    updateAxisOffset();
    TrendView view = currentView();
    const int spanSeconds = static_cast<int>(view.spanMicros / 1'000'000);
    const double edgeMs = chkTrendPause->isChecked() ? pausedEdgeMs_ : liveEdgeMs(spanSeconds);
    view.endMicros = modelMicros(edgeMs);
    // The edge is ahead of the newest reading; rounding to microseconds must not lose it.
    if (model_.Size() > 0 && !chkTrendPause->isChecked())
        view.endMicros = std::max(view.endMicros, model_.At(model_.Size() - 1).micros);
    const TrendPlot plot = BuildTrendPlot(model_, view);
    setTimeAxis(edgeMs - static_cast<double>(view.spanMicros) / 1000.0, edgeMs, spanSeconds);
    const auto [low, high] = PaddedRange(plot.yRange);
    const AxisScale scale = NiceScale(low, high, 6);
    // Each change of an axis lays every series out again: only what changed is set.
    if (axisY->min() != scale.min || axisY->max() != scale.max)
        axisY->setRange(scale.min, scale.max);
    if (axisY->tickCount() != scale.ticks) axisY->setTickCount(scale.ticks);
    const QString labels = QStringLiteral("%.%1f").arg(scale.decimals);
    if (axisY->labelFormat() != labels) axisY->setLabelFormat(labels);
    const QString title = view.mode == TrendMode::Rate ? tr("Counts per second \u00d7 multiplier")
                                                       : tr("Counter \u00d7 multiplier");
    if (axisY->titleText() != title) axisY->setTitleText(title);
    for (int k = 1; k <= kTrendChannels; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        showTrace(k, plot.channels[i], view.shown[i]);
    }
    drawnRevision_ = model_.Revision();
    drawnOnce_ = true;
    drawnFrom_ = plot.fromMicros;
    drawnTo_ = plot.toMicros;
    drawnEdgeMs_ = edgeMs;
    drawnAt_.start();
}

void FrmTrend::setTimeAxis(double fromMs, double toMs, int spanSeconds) {
    if (axisX->min() != fromMs || axisX->max() != toMs) axisX->setRange(fromMs, toMs);
    std::vector<std::int64_t> ticks = TimeAxisTicks(std::llround(toMs), spanSeconds);
    // The labels change only when a new round time comes into the span.
    if (ticks == drawnTicks_ && spanSeconds == drawnTickSpan_) return;
    for (const QString& label : axisX->categoriesLabels())
        axisX->remove(label);
    axisX->setStartValue(fromMs);
    for (const std::int64_t tick : ticks) {
        QString label = TimeTickLabel(tick, spanSeconds);
        // Labels name the categories, so each must be unique: the autumn's
        // repeated hour shows its round time twice.
        while (axisX->categoriesLabels().contains(label))
            label += QChar(0x200B);
        axisX->append(label, static_cast<double>(tick));
    }
    drawnTicks_ = std::move(ticks);
    drawnTickSpan_ = spanSeconds;
}

void FrmTrend::showTrace(int channel, const ChannelTrace& trace, bool shown) {
    ChannelSeries& s = series_[static_cast<std::size_t>(channel - 1)];
    while (s.lines.size() < trace.lines.size())
        addLine(channel);
    auto toList = [this](const std::vector<TrendPoint>& points) {
        QList<QPointF> list;
        list.reserve(static_cast<qsizetype>(points.size()));
        for (const TrendPoint& p : points)
            list.append(QPointF(axisMillis(p.micros), p.y));
        return list;
    };
    // Handing a series its points makes the chart lay it out and repaint it whole,
    // so a series whose points are the same is left alone.
    auto show = [&toList](QLineSeries* series, const std::vector<TrendPoint>& points) {
        QList<QPointF> list = toList(points);
        if (list != series->points()) series->replace(list);
    };
    for (std::size_t i = 0; i < s.lines.size(); ++i) {
        QLineSeries* line = s.lines[i];
        if (i < trace.lines.size()) {
            show(line, trace.lines[i]);
        } else if (line->count() > 0) {
            line->clear();
        }
        if (line->isVisible() != shown) {
            line->setVisible(shown);
            // A series shown again brings its legend entry back; only the first keeps one.
            if (i > 0) {
                for (QLegendMarker* marker : chart->legend()->markers(line))
                    marker->setVisible(false);
            }
        }
    }
    show(s.dots, trace.dots);
    if (s.dots->isVisible() != shown) s.dots->setVisible(shown);
    for (QLegendMarker* marker : chart->legend()->markers(s.dots))
        if (marker->isVisible()) marker->setVisible(false);
}

void FrmTrend::showTooltip(int channel, double axisMs, bool entering) {
    if (!entering) {
        QToolTip::hideText();
        return;
    }
    const TrendMode mode = optTrendRate->isChecked() ? TrendMode::Rate : TrendMode::Value;
    const auto reading =
        NearestReading(model_, channel, mode, modelMicros(axisMs), drawnFrom_, drawnTo_);
    if (!reading) return;
    // As the log writes it: with its offset, so the autumn's repeated hour is plain.
    const QString time =
        QString::fromStdString(FormatLocalLogTime(std::llround(axisMillis(reading->micros))));
    const QString value = QString::fromStdString(FormatDecimal(reading->y, 1, 4));
    const QString text = tr("Channel %1\n%2\n%3")
                             .arg(channel)
                             .arg(time)
                             .arg(mode == TrendMode::Rate ? tr("%1 /s").arg(value) : value);
    QToolTip::showText(QCursor::pos(), text, chartView);
}

void FrmTrend::cmdTrendSave_Click() {
    auto settings = UserSettings();
    QString folder = settings->value(kImageFolderKey).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    const QString suggested = QDir(folder).filePath(
        QStringLiteral("trend-%1.png")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    QString path = askSaveFileName(this, tr("Save Image"), suggested, tr("PNG image (*.png)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".png");

    // The window as it is on screen, at its size.
    const QImage image = grab().toImage();
    QImageWriter writer(path, "png");
    if (!writer.write(image)) {
        QMessageBox::warning(this, tr("Save Image"),
                             tr("The image was not saved to %1:\n%2")
                                 .arg(QDir::toNativeSeparators(path), writer.errorString()));
        return;
    }
    settings->setValue(kImageFolderKey, QFileInfo(path).absolutePath());
}

}  // namespace tally
