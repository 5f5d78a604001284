#pragma once
// The monitor window: the top row of link controls, five panels of labelled
// value fields, the port's start and stop, and the user's font and colour
// settings. It shows the pipeline's receive path: after every read it puts
// the fields the decoders wrote into the window.
#include <QWidget>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/dialogs.h"
#include "base/read_listener.h"
#include "comm/field_board.h"
#include "comm/frame_receiver.h"
#include "comm/live_store.h"
#include "monitor/analyzer_link.h"
#include "monitor/port_choices.h"
#include "platform/program_timer.h"
#include "sources/port.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orlix {

class Pipeline;

class FrmMain final : public QWidget, private ReadListener {
    Q_OBJECT
public:
    FrmMain(Pipeline& pipeline, DialogHost& dialogs, AnalyzerLink& analyzer, std::vector<PortChoice> ports,
            QWidget* parent = nullptr);
    ~FrmMain() override;

    // Link state as shown by StatusTxt.
    enum class LinkState { Stopped, Running, Lost };
    LinkState linkState() const { return state_; }

    // Event handlers (also called by tests).
    void startCmdClick();
    void stopCmdClick();
    void timer1Tick();
    void commPortSelChanged(int index);
    void baudSelected(int baud);
    void fontSetClick();
    void colorSetClick();
    void cmdClrAllClick();
    void text1DblClick(int i);
    void label1DblClick(int i);
    void realChartClick();
    // After a read went through the receive path: shows what it changed.
    void receiveEvent();
    // The port reported an event other than a read.
    void portTrouble(PortTrouble trouble);

    // Maps `path` to the port list (an item `label` at its end, unless an
    // item opens that path already) and selects it; a running link stops
    // first.
    void selectPort(const std::string& label, const std::string& path);

    void ChooseFieldFont(int top, int left);
    void ChooseFieldColor();

    QLineEdit* Text1(int i) const { return text1_.at(static_cast<std::size_t>(i)); }
    QLabel* Label1(int i) const { return label1_.at(static_cast<std::size_t>(i)); }
    QGroupBox* Information(int k) const { return information_.at(static_cast<std::size_t>(k)); }
    QPushButton* StartCmd() const { return startCmd_; }
    QLabel* StatusTxt() const { return statusTxt_; }
    QLabel* CheckTxt() const { return checkTxt_; }
    QLabel* NumTxt() const { return numTxt_; }
    QLabel* TimeTxt() const { return timeTxt_; }
    QComboBox* CommPortSel() const { return commPortSel_; }
    QTimer* Timer1() const { return timer1_; }
    const FrameReceiver& receiver() const;
    const FieldBoard& board() const;
    const std::string& BaudText() const { return BaudText_; }
    int CommPort() const { return CommPort_; }
    int RunDots() const { return RunDots_; }

signals:
    // The window was closed: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onRead(std::span<const std::uint8_t>) override;
    void onPortEvent(PortTrouble trouble) override;
    void buildWindow();
    void buildTopRow();
    void buildPanels();
    void connectHandlers();
    void load();
    void showRunning();
    void showStopped();
    void showLost();
    void showLostForGood(const std::string& why);
    void applyChangedFields();
    void focusStart();
    void setFieldBackground(QLineEdit* field, Rgb c);
    int indexOf(QObject* o, const std::vector<QObject*>& list) const;

    Pipeline& pipeline_;
    LiveStore& store_;
    const Clock& clock_;
    Port& port_;
    DialogHost& dialogs_;
    AnalyzerLink& analyzer_;
    std::vector<PortChoice> ports_;
    std::uint64_t shownChecksums_ = 0;

    std::array<QLineEdit*, 160> text1_{};
    std::array<QLabel*, 160> label1_{};
    std::array<QGroupBox*, 5> information_{};
    std::vector<QObject*> text1Objects_, label1Objects_, panelObjects_;
    QPushButton *startCmd_ = nullptr, *stopCmd_ = nullptr, *fontSet_ = nullptr,
                *colorSet_ = nullptr, *cmdRealChart_ = nullptr, *cmdClrAll_ = nullptr;
    QGroupBox* baudsel_ = nullptr;
    QRadioButton *b600_ = nullptr, *b1200_ = nullptr, *b2400_ = nullptr;
    QComboBox* commPortSel_ = nullptr;
    QLabel *timeTxt_ = nullptr, *statusTxt_ = nullptr, *numTxt_ = nullptr, *checkTxt_ = nullptr;
    QFrame* line1_ = nullptr;
    ProgramTimer* timer1_ = nullptr;

    LinkState state_ = LinkState::Stopped;
    std::int16_t RunDots_ = 0;
    std::string BaudText_;
    int CommPort_ = 1;
    bool closing_ = false;
};

// The family used for every font of the windows: "宋体" where installed,
// otherwise a family that covers Chinese.
QString cjkFontFamily();

}  // namespace orlix
