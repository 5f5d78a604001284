#pragma once
// Shared set-up of the analyzer window tests: one application object for the
// test program and a window with a hand-driven clock and scripted dialogs.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMetaObject>
#include <QTimer>
#include <memory>

#include "analyzer/flex_grid.h"
#include "analyzer/frm_chart.h"
#include "analyzer/pic_chart.h"
#include "analyzer/tab_control.h"
#include "comm/live_store.h"
#include "recorder/pipeline.h"
#include "base/clock.h"
#include "base/date_time.h"
#include "scripted_dialog_host.h"

namespace orlix::testing {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "analyzer_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = [] {
        qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
        return new QApplication(argc, argv);
    }();
    return *a;
}

// A pipeline without sources: the tests set the live values by hand.
struct TestPipeline {
    explicit TestPipeline(const Clock& clock)
        : pipeline((app(), std::make_unique<Pipeline>(clock, SourceRegistry{}))), store(pipeline->receive().store()) {}
    std::unique_ptr<Pipeline> pipeline;
    LiveStore& store;
};

struct AnalyzerFixture {
    AnalyzerFixture() : clock(makeDateTime({2026, 3, 14, 9, 0, 0})), rig(clock), store(rig.store) {
        w = std::make_unique<FrmChart>(*rig.pipeline, dialogs);
    }
    ~AnalyzerFixture() {
        store.AppClosing = true;  // let the window really close
        w.reset();
    }

    template <class T>
    T* find(const char* name) const {
        return w->findChild<T*>(QString::fromLatin1(name));
    }
    analyzer::FlexGrid* grid1(int k) const {
        return w->findChild<analyzer::FlexGrid*>(QStringLiteral("MSHFlexGrid1(%1)").arg(k));
    }
    analyzer::FlexGrid* grid2() const { return find<analyzer::FlexGrid>("MSHFlexGrid2"); }
    analyzer::TabControl* ssTab1() const { return find<analyzer::TabControl>("SSTab1"); }
    analyzer::TabControl* ssTab2() const { return find<analyzer::TabControl>("SSTab2"); }
    analyzer::PicChart* pic(int k) const {
        return w->findChild<analyzer::PicChart*>(QStringLiteral("picChart(%1)").arg(k));
    }
    QCheckBox* box(const QString& name) const { return w->findChild<QCheckBox*>(name); }
    QCheckBox* curveBox(int s) const { return box(QStringLiteral("chkOptCurve(%1)").arg(s)); }
    QAction* action(const char* name) const { return find<QAction>(name); }
    QLabel* status(int i) const { return w->findChild<QLabel*>(QStringLiteral("lblStatus(%1)").arg(i)); }

    // One tick of Timer1 as the event loop would deliver it.
    void tick() {
        clock.advanceSeconds(4);
        QMetaObject::invokeMethod(w->timer1(), "timeout", Qt::DirectConnection);
    }

    ManualClock clock;
    TestPipeline rig;
    LiveStore& store;
    ScriptedDialogHost dialogs;
    std::unique_ptr<FrmChart> w;
};

}  // namespace orlix::testing
