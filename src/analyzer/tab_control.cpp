#include "analyzer/tab_control.h"

#include <QResizeEvent>
#include <algorithm>

namespace orlix::analyzer {

TabControl::TabControl(const QStringList& captions, QWidget* parent) : QWidget(parent) {
    for (int i = 0; i < captions.size(); ++i) {
        auto* p = new QWidget(this);
        p->setObjectName(QStringLiteral("page(%1)").arg(i));
        p->setVisible(i == 0);
        pages_.push_back(p);
    }
    bar_ = new QTabBar(this);
    bar_->setExpanding(true);
    bar_->setDrawBase(true);
    bar_->setUsesScrollButtons(false);
    bar_->setElideMode(Qt::ElideNone);
    for (const auto& c : captions) bar_->addTab(c);
    connect(bar_, &QTabBar::currentChanged, this, [this](int t) {
        for (size_t i = 0; i < pages_.size(); ++i) pages_[i]->setVisible(static_cast<int>(i) == t);
        emit tabChanged(t);
    });
}

void TabControl::setTab(int t) {
    if (t < 0 || t >= count()) return;
    if (t == tab()) {
        // Selecting the shown page still runs the page-change handling, as a
        // load that selects page 0 expects.
        emit tabChanged(t);
        return;
    }
    bar_->setCurrentIndex(t);
}

void TabControl::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // Every tab gets an equal share of the strip, so all captions stay in view
    // however narrow the control is.
    const int tabWidth = count() > 0 ? width() / count() : width();
    bar_->setStyleSheet(QStringLiteral("QTabBar::tab { width: %1px; padding: 3px 0px; }").arg(std::max(1, tabWidth - 2)));
    bar_->setGeometry(0, 0, width(), bar_->sizeHint().height());
    for (auto* p : pages_) p->setGeometry(0, 0, width(), height());
    bar_->raise();
}

}  // namespace orlix::analyzer
