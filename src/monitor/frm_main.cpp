#include "monitor/frm_main.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <exception>

#include "comm/monitor_layout.h"
#include "recorder/pipeline.h"
#include "base/guarded.h"
#include "chart/qt_convert.h"
#include "base/date_time.h"

namespace orlix {
namespace {

constexpr const char* kTitleStopped = "Orlix Monitor---Stopping...";
constexpr const char* kTitleRunning = "Orlix Monitor---Running";
constexpr const char* kTitleReconnecting = "Orlix Monitor---Reconnecting...";
constexpr const char* kTitleLost = "Orlix Monitor---Lost";
constexpr int kTimer1IntervalMs = 2000;

QRect toPixels(const TwipsRect& r) {
    return {twipsToPixels(r.left), twipsToPixels(r.top), twipsToPixels(r.width),
            twipsToPixels(r.height)};
}

QString indexed(const char* name, int i) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(i);
}

// A label with a single black border; its text keeps its own colour (a
// plain frame would be drawn in the text colour).
class BorderedLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* e) override {
        QLabel::paintEvent(e);
        QPainter p(this);
        p.setPen(toQColor(kBlack));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

QFont fontOf(double points) {
    QFont f(cjkFontFamily());
    f.setPointSizeF(points);
    return f;
}

// A bordered label of the top row, caption labels and the clock centred;
// a value label looks like a field, with the highlight-text colour as its
// background.
QLabel* makeTopLabel(const TopControl& c, QWidget* parent) {
    auto* l = new BorderedLabel(qtText(c.caption), parent);
    l->setFrameShape(QFrame::Box);
    l->setLineWidth(1);
    if (c.kind == TopKind::CaptionLabel || c.name == "TimeTxt")
        l->setAlignment(Qt::AlignCenter);
    else
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (c.kind == TopKind::ValueLabel) {
        QPalette p = l->palette();
        p.setColor(QPalette::Window, p.color(QPalette::HighlightedText));
        l->setPalette(p);
        l->setAutoFillBackground(true);
    }
    return l;
}

QWidget* makeTopControl(const TopControl& c, QWidget* parent) {
    switch (c.kind) {
    case TopKind::Button: {
        auto* b = new QPushButton(qtText(c.caption), parent);
        b->setAutoDefault(false);
        return b;
    }
    case TopKind::Frame:
        return new QGroupBox(qtText(c.caption), parent);
    case TopKind::Option:
        return new QRadioButton(qtText(c.caption), parent);
    case TopKind::List:
        return new QComboBox(parent);
    case TopKind::ValueLabel:
    case TopKind::CaptionLabel:
        return makeTopLabel(c, parent);
    }
    return nullptr;
}

// Captions are designed for a narrow CJK font; where the font at hand is
// wider, the caption may reach up to its field and is condensed (same family
// and size) until it fits.
void fitCaption(QLabel* label, int available) {
    if (available > 0) label->resize(available, label->height());
    const int needed = QFontMetrics(label->font()).horizontalAdvance(label->text()) + 1;
    if (needed <= label->width()) return;
    QFont f = label->font();
    f.setStretch(std::max(50, 100 * label->width() / needed));
    label->setFont(f);
}

}  // namespace

QString cjkFontFamily() {
    static const QString family = [] {
        const QStringList all = QFontDatabase::families();
        const QString song = QString::fromUtf8("宋体");
        if (all.contains(song)) return song;
        for (const char* name : {"SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"})
            if (all.contains(QLatin1String(name))) return QString::fromLatin1(name);
        const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
        return chinese.isEmpty() ? QString() : chinese.front();
    }();
    return family;
}

FrmMain::FrmMain(Pipeline& pipeline, DialogHost& dialogs, AnalyzerLink& analyzer, std::vector<PortChoice> ports,
                 QWidget* parent)
    : QWidget(parent),
      pipeline_(pipeline),
      store_(pipeline.receive().store()),
      clock_(pipeline.clock()),
      port_(pipeline.port()),
      dialogs_(dialogs),
      analyzer_(analyzer),
      ports_(std::move(ports)) {
    buildWindow();
    // After the receive path, which the pipeline added first.
    port_.addListener(this);
    load();
}

FrmMain::~FrmMain() { port_.removeListener(this); }

const FrameReceiver& FrmMain::receiver() const { return pipeline_.receive().receiver(); }

const FieldBoard& FrmMain::board() const { return pipeline_.receive().board(); }

void FrmMain::onRead(std::span<const std::uint8_t>) {
    guarded([this] { receiveEvent(); });
}

void FrmMain::onPortEvent(PortTrouble trouble) {
    guarded([this, trouble] { portTrouble(trouble); });
}

void FrmMain::buildWindow() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kTitleStopped));
    resize(twipsToPixels(kDesignWidthTwips), twipsToPixels(kDesignHeightTwips));

    buildTopRow();
    buildPanels();

    // Fields and captions, in index order (so field 126 is created after,
    // and stacked above, field 80).
    const QFont fieldFont = fontOf(kFieldPointSize);
    for (const FieldLayout& f : fieldLayouts()) {
        QGroupBox* panel = information_[static_cast<std::size_t>(f.panel)];
        auto* label = new QLabel(QString::fromUtf8(f.caption.data(), static_cast<int>(f.caption.size())), panel);
        label->setObjectName(indexed("Label1", f.index));
        label->setGeometry(toPixels(f.caption_rect));
        label->setFont(f.index == kHiddenUnderField ? fieldFont : fontOf(kCaptionPointSize));
        QPalette lp = label->palette();
        lp.setColor(QPalette::WindowText, QColor(0, 0, 0));
        label->setPalette(lp);
        // Opaque, so that caption 126 hides caption 80 beneath it.
        label->setAutoFillBackground(true);
        fitCaption(label, twipsToPixels(f.field_rect.left) - label->x() - 2);
        label->installEventFilter(this);

        auto* field = new QLineEdit(panel);
        field->setObjectName(indexed("Text1", f.index));
        field->setGeometry(toPixels(f.field_rect));
        field->setFont(fieldFont);
        field->setFrame(true);
        field->setTextMargins(0, 0, 0, 0);
        field->installEventFilter(this);

        label1_[static_cast<std::size_t>(f.index)] = label;
        text1_[static_cast<std::size_t>(f.index)] = field;
    }
    Label1(kHiddenOverField)->raise();
    Text1(kHiddenOverField)->raise();
    for (int i = 0; i < kFieldCount; ++i) {
        text1Objects_.push_back(Text1(i));
        label1Objects_.push_back(Label1(i));
    }

    connectHandlers();
}

void FrmMain::connectHandlers() {
    timer1_ = new ProgramTimer(clock_, kTimer1IntervalMs, this);
    timer1_->setObjectName(QStringLiteral("Timer1"));

    connect(startCmd_, &QPushButton::clicked, this, [this] { guarded([this] { startCmdClick(); }); });
    connect(stopCmd_, &QPushButton::clicked, this, [this] { guarded([this] { stopCmdClick(); }); });
    connect(fontSet_, &QPushButton::clicked, this, [this] { guarded([this] { fontSetClick(); }); });
    connect(colorSet_, &QPushButton::clicked, this, [this] { guarded([this] { colorSetClick(); }); });
    connect(cmdClrAll_, &QPushButton::clicked, this, [this] { guarded([this] { cmdClrAllClick(); }); });
    connect(cmdRealChart_, &QPushButton::clicked, this, [this] { guarded([this] { realChartClick(); }); });
    connect(timer1_, &QTimer::timeout, this, [this] { guarded([this] { timer1Tick(); }); });
    connect(commPortSel_, &QComboBox::currentIndexChanged, this,
            [this](int i) { guarded([this, i] { commPortSelChanged(i); }); });
    const std::pair<QRadioButton*, int> bauds[] = {{b600_, 600}, {b1200_, 1200}, {b2400_, 2400}};
    for (const auto& [button, rate] : bauds) {
        connect(button, &QRadioButton::toggled, this, [this, r = rate](bool on) {
            if (on) guarded([this, r] { baudSelected(r); });
        });
    }
}

void FrmMain::buildTopRow() {
    for (const TopControl& c : topControls()) {
        // An option button stands in the frame its row names.
        QWidget* parentWidget = c.parent.empty() ? static_cast<QWidget*>(this) : findChild<QWidget*>(qtText(c.parent));
        QWidget* w = makeTopControl(c, parentWidget);
        w->setObjectName(qtText(c.name));
        w->setGeometry(toPixels(c.rect));
        w->setFont(fontOf(c.pointSize));
    }
    startCmd_ = findChild<QPushButton*>(QStringLiteral("StartCmd"));
    stopCmd_ = findChild<QPushButton*>(QStringLiteral("StopCmd"));
    fontSet_ = findChild<QPushButton*>(QStringLiteral("FontSet"));
    colorSet_ = findChild<QPushButton*>(QStringLiteral("ColorSet"));
    cmdRealChart_ = findChild<QPushButton*>(QStringLiteral("cmdRealChart"));
    cmdClrAll_ = findChild<QPushButton*>(QStringLiteral("cmdClrAll"));
    baudsel_ = findChild<QGroupBox*>(QStringLiteral("baudsel"));
    b600_ = findChild<QRadioButton*>(QStringLiteral("b600"));
    b1200_ = findChild<QRadioButton*>(QStringLiteral("b1200"));
    b2400_ = findChild<QRadioButton*>(QStringLiteral("b2400"));
    commPortSel_ = findChild<QComboBox*>(QStringLiteral("CommPortSel"));
    timeTxt_ = findChild<QLabel*>(QStringLiteral("TimeTxt"));
    statusTxt_ = findChild<QLabel*>(QStringLiteral("StatusTxt"));
    numTxt_ = findChild<QLabel*>(QStringLiteral("NumTxt"));
    checkTxt_ = findChild<QLabel*>(QStringLiteral("CheckTxt"));
    QPalette p = cmdRealChart_->palette();
    p.setColor(QPalette::Button, QColor(255, 255, 192));
    cmdRealChart_->setPalette(p);

    line1_ = new QFrame(this);
    line1_->setObjectName(QStringLiteral("Line1"));
    line1_->setFrameShape(QFrame::HLine);
    line1_->setFrameShadow(QFrame::Plain);
    line1_->setLineWidth(2);
    const int y = twipsToPixels(std::min(kLine1.y1, kLine1.y2));
    line1_->setGeometry(twipsToPixels(kLine1.x1), y - 1, twipsToPixels(kLine1.x2 - kLine1.x1), 3);
}

void FrmMain::buildPanels() {
    for (int k = 0; k < kPanelCount; ++k) {
        const PanelLayout& p = panelLayouts()[static_cast<std::size_t>(k)];
        auto* box = new QGroupBox(qtText(p.caption), this);
        box->setObjectName(indexed("Information", k));
        box->setGeometry(toPixels(p.rect));
        box->setFont(fontOf(kPanelPointSize));
        QPalette pal = box->palette();
        pal.setColor(QPalette::WindowText, toQColor(p.captionColour));
        box->setPalette(pal);
        box->installEventFilter(this);
        information_[static_cast<std::size_t>(k)] = box;
        panelObjects_.push_back(box);
    }
}

void FrmMain::load() {
    if (QScreen* s = screen()) resize(s->geometry().width(), height());
    RunDots_ = 0;
    pipeline_.receive().decoder().OnColor = kBlue;
    setTextColour(statusTxt_, kRed);
    b1200_->setChecked(true);  // runs the baud handler
    if (BaudText_.empty()) baudSelected(1200);

    {
        const QSignalBlocker block(commPortSel_);
        for (const PortChoice& c : ports_) commPortSel_->addItem(QString::fromStdString(c.label));
        commPortSel_->setCurrentIndex(0);
    }
    commPortSelChanged(0);
    commPortSel_->setEnabled(true);

    setTextColour(numTxt_, kBlue);
    for (int i = 0; i < 3; ++i) store_.FaultStatus[static_cast<std::size_t>(i)] = "Normal";
    timer1_->start();
}

void FrmMain::setFieldBackground(QLineEdit* field, Rgb c) {
    QPalette p = field->palette();
    p.setColor(QPalette::Base, toQColor(c));
    field->setPalette(p);
}

void FrmMain::commPortSelChanged(int index) {
    if (index < 0 || index >= static_cast<int>(ports_.size())) return;
    CommPort_ = index + 1;
    port_.setPath(ports_[static_cast<std::size_t>(index)].path);
}

void FrmMain::baudSelected(int baud) {
    BaudText_ = std::to_string(baud);
    // The chosen rate reaches the port (8 data bits, no parity, 1 stop bit).
    port_.setBaudRate(baud);
}

void FrmMain::showRunning() {
    setWindowTitle(QStringLiteral("%1.").arg(QLatin1String(kTitleRunning)));
    setTextColour(statusTxt_, kGreenOk);
    statusTxt_->setText(QStringLiteral("Start"));
    statusTxt_->setToolTip({});
    cmdClrAll_->setEnabled(false);
    commPortSel_->setEnabled(false);
}

void FrmMain::showStopped() {
    setWindowTitle(QString::fromLatin1(kTitleStopped));
    setTextColour(statusTxt_, kRed);
    statusTxt_->setText(QStringLiteral("Stop"));
    statusTxt_->setToolTip({});
    cmdClrAll_->setEnabled(true);
    commPortSel_->setEnabled(true);
}

void FrmMain::showLost() {
    setWindowTitle(QString::fromLatin1(kTitleReconnecting));
    setTextColour(statusTxt_, kRed);
    statusTxt_->setText(QStringLiteral("Lost"));
    // The retries keep to the same port: the selection stays locked.
    cmdClrAll_->setEnabled(false);
    commPortSel_->setEnabled(false);
}

// A loss that retrying cannot mend (a refused login, a certificate that
// fails its check): the link stops, the status stays "Lost", and the reason
// is shown in the box a failed Start shows. The box comes after the event
// has been handled, not inside it.
void FrmMain::showLostForGood(const std::string& why) {
    showStopped();
    setWindowTitle(QString::fromLatin1(kTitleLost));
    statusTxt_->setText(QStringLiteral("Lost"));
    statusTxt_->setToolTip(QString::fromStdString(why));
    QTimer::singleShot(0, this, [this, why] {
        if (closing_) return;
        // Start makes the source anew, with the settings as they are then.
        if (state_ == LinkState::Stopped) port_.discardSource();
        dialogs_.messageWithDetail("Communcation port cannot be open!!", "Lost: " + why);
    });
}

void FrmMain::startCmdClick() {
    analyzer_.hideAnalyzer();
    if (!port_.isOpen()) {
        const OpenResult r = port_.open();
        if (r == OpenResult::AlreadyOpen) {
            dialogs_.message("Communcation port is already open");
            return;
        }
        if (r != OpenResult::Ok) {
            dialogs_.messageWithDetail("Communcation port cannot be open!!", port_.openFailureHint());
            return;
        }
    }
    state_ = LinkState::Running;
    showRunning();
}

void FrmMain::stopCmdClick() {
    if (port_.isOpen() && !port_.close()) {
        dialogs_.message("Communcation port cannot be close!!");
        return;
    }
    state_ = LinkState::Stopped;  // also ends the retries of a lost link
    showStopped();
}

void FrmMain::timer1Tick() {
    timeTxt_->setText(QString::fromStdString(timeOfDayText(clock_.now())));
    if (statusTxt_->text() == QLatin1String("Start")) {
        static constexpr int kDots[4] = {2, 3, 4, 1};
        const int phase = RunDots_ >= 0 && RunDots_ < 3 ? RunDots_ : 3;
        RunDots_ = static_cast<std::int16_t>(phase < 3 ? phase + 1 : 0);
        setWindowTitle(QLatin1String(kTitleRunning) + QString(kDots[phase], QLatin1Char('.')));
    }
    if (state_ == LinkState::Lost && port_.atEnd()) {
        // A source that has given all it has (a replayed capture at its
        // end) is not retried: the link stops, as by the Stop button.
        state_ = LinkState::Stopped;
        showStopped();
        return;
    }
    if (state_ == LinkState::Lost && port_.open() == OpenResult::Ok) {
        state_ = LinkState::Running;
        showRunning();
    }
}

void FrmMain::receiveEvent() {
    const FrameReceiver& receiver = pipeline_.receive().receiver();
    if (receiver.checksumCount() != shownChecksums_) {
        shownChecksums_ = receiver.checksumCount();
        setTextColour(checkTxt_, receiver.checkColour());
        checkTxt_->setText(QString::fromStdString(receiver.checkText()));
    }
    const QString num = QString::fromStdString(receiver.numText());
    if (numTxt_->text() != num) numTxt_->setText(num);
    applyChangedFields();
}

void FrmMain::applyChangedFields() {
    // Every good frame writes all fields of its kind, so a field the user
    // typed into shows the decoded value again even when it did not change.
    FieldBoard& board = pipeline_.receive().board();
    const std::bitset<FieldBoard::kFieldCount> written = board.takeWritten();
    if (written.none()) return;
    for (int i = 0; i < kFieldCount; ++i) {
        if (!written.test(static_cast<std::size_t>(i))) continue;
        const FieldValue& v = board[i];
        QLineEdit* field = Text1(i);
        if (v.colour) {
            const QColor c = toQColor(*v.colour);
            if (field->palette().color(QPalette::Text) != c) {
                QPalette p = field->palette();
                p.setColor(QPalette::Text, c);
                field->setPalette(p);
            }
        }
        const QString text = QString::fromStdString(v.text);
        if (field->text() != text) {
            field->setText(text);
            // A text longer than its field shows its beginning.
            if (!field->hasFocus()) field->setCursorPosition(0);
        }
    }
}

void FrmMain::portTrouble(PortTrouble trouble) {
    if (closing_) return;
    numTxt_->setText(QString::fromStdString(pipeline_.receive().receiver().numText()));
    if (trouble != PortTrouble::Lost) return;
    const bool forGood = port_.lostForGood();
    const std::string why = port_.troubleText();
    // The device is gone: release it and retry on every Timer1 tick.
    port_.close();
    if (forGood && state_ != LinkState::Stopped) {
        state_ = LinkState::Stopped;
        showLostForGood(why);
        return;
    }
    if (state_ == LinkState::Running || state_ == LinkState::Lost) {
        state_ = LinkState::Lost;
        showLost();
    }
}

void FrmMain::selectPort(const std::string& label, const std::string& path) {
    // The list is locked while the link runs: it stops first.
    if (state_ != LinkState::Stopped) stopCmdClick();
    if (state_ != LinkState::Stopped) return;
    auto it = std::find_if(ports_.begin(), ports_.end(), [&](const PortChoice& c) { return c.path == path; });
    if (it == ports_.end()) {
        ports_.push_back({label, path});
        commPortSel_->addItem(QString::fromStdString(label));
        it = ports_.end() - 1;
    }
    const int index = static_cast<int>(it - ports_.begin());
    if (commPortSel_->currentIndex() == index) commPortSelChanged(index);
    else commPortSel_->setCurrentIndex(index);  // runs the selection handler
}

void FrmMain::realChartClick() { analyzer_.showAnalyzer(); }

void FrmMain::focusStart() { startCmd_->setFocus(Qt::MouseFocusReason); }

void FrmMain::fontSetClick() {
    if (analyzer_.alwaysOnTopChecked()) return;
    ChooseFieldFont(2700, 4000);
}

void FrmMain::colorSetClick() {
    if (analyzer_.alwaysOnTopChecked()) return;
    ChooseFieldColor();
}

void FrmMain::ChooseFieldFont(int top, int left) {
    const std::optional<FontChoice> choice = dialogs_.chooseFont(left, top, 3);
    if (!choice) return;
    const QString name = QString::fromStdString(choice->name);
    for (int i = 0; i < kFieldCount; ++i) {
        QFont f = Text1(i)->font();
        if (!name.isEmpty()) f.setFamily(name);
        if (choice->pointSize > 0) f.setPointSizeF(choice->pointSize);
        f.setBold(choice->bold);
        f.setItalic(choice->italic);
        f.setStrikeOut(choice->strikeOut);
        f.setUnderline(choice->underline);
        Text1(i)->setFont(f);
    }
}

void FrmMain::ChooseFieldColor() {
    const std::optional<Rgb> colour = dialogs_.chooseColor(6200, 3200, 1);
    if (!colour) return;
    for (int i = 0; i < kFieldCount; ++i) setFieldBackground(Text1(i), *colour);
}

void FrmMain::text1DblClick(int i) {
    QLineEdit* field = Text1(i);
    field->deselect();
    field->setCursorPosition(static_cast<int>(field->text().size()));
    const std::optional<Rgb> colour = dialogs_.chooseColor(6200, 3200, 1);
    if (colour) setFieldBackground(field, *colour);
}

void FrmMain::label1DblClick(int i) {
    focusStart();
    const std::optional<Rgb> colour = dialogs_.chooseColor(6200, 3200, 1);
    if (colour) setTextColour(Label1(i), *colour);
}

void FrmMain::cmdClrAllClick() {
    // Only the window is emptied: the board keeps the decoded values, and the
    // next frame of each kind writes all of its fields again.
    for (int i = 0; i < kFieldCount; ++i) Text1(i)->setText(QString());
    pipeline_.receive().receiver().clearCheckText();
    checkTxt_->setText(QString());
}

int FrmMain::indexOf(QObject* o, const std::vector<QObject*>& list) const {
    const auto it = std::find(list.begin(), list.end(), o);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick)
        return QWidget::eventFilter(watched, event);
    bool handled = false;
    guarded([&] {
        if (const int i = indexOf(watched, text1Objects_); i >= 0) {
            if (type == QEvent::MouseButtonDblClick) {
                text1DblClick(i);
                handled = true;
            }
        } else if (const int l = indexOf(watched, label1Objects_); l >= 0) {
            if (type == QEvent::MouseButtonDblClick) label1DblClick(l);
            else focusStart();
            handled = true;
        } else if (indexOf(watched, panelObjects_) >= 0) {
            focusStart();
        }
    });
    return handled || QWidget::eventFilter(watched, event);
}

void FrmMain::mousePressEvent(QMouseEvent* event) {
    guarded([this] { focusStart(); });
    QWidget::mousePressEvent(event);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    guarded([this] {
        closing_ = true;
        timer1_->stop();
        if (port_.isOpen()) port_.close();
        store_.AppClosing = true;
        analyzer_.unloadAnalyzer();
    });
    event->accept();
    emit closed();
}

}  // namespace orlix
