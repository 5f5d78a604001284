#pragma once
// A tab control with a strip of tabs on top and one page per tab; the pages'
// controls sit at their design positions measured from the control's top-left
// corner (the strip included), as the design places them.
#include <QTabBar>
#include <QWidget>
#include <vector>

namespace orlix::analyzer {

class TabControl : public QWidget {
    Q_OBJECT
public:
    TabControl(const QStringList& captions, QWidget* parent = nullptr);

    int tab() const { return bar_->currentIndex(); }
    void setTab(int t);
    int count() const { return bar_->count(); }
    QWidget* page(int t) const { return pages_.at(static_cast<size_t>(t)); }
    QTabBar* tabBar() const { return bar_; }

signals:
    void tabChanged(int tab);

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QTabBar* bar_;
    std::vector<QWidget*> pages_;
};

}  // namespace orlix::analyzer
