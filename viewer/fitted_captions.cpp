#include "viewer/fitted_captions.h"

#include <algorithm>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>

#include "viewer/core/caption_fit.h"

namespace veldra::viewer {
namespace {

// The style's room for the text of a push, radio or check button at the
// button's present size.
int button_text_room(const QAbstractButton& b) {
    QStyleOptionButton opt;
    opt.initFrom(&b);
    opt.text = b.text();
    QStyle::SubElement element = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QRadioButton*>(&b)) element = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<const QCheckBox*>(&b)) element = QStyle::SE_CheckBoxContents;
    return b.style()->subElementRect(element, &opt, &b).width();
}

}  // namespace

QStringList captions_of(const QWidget& control) {
    const QVariant named = control.property("captions");
    if (named.isValid()) return named.toStringList();
    if (const auto* l = qobject_cast<const QLabel*>(&control)) return {l->text()};
    if (qobject_cast<const QToolButton*>(&control)) return {};  // the arrows show no text
    if (const auto* b = qobject_cast<const QAbstractButton*>(&control)) return {b->text()};
    if (const auto* g = qobject_cast<const QGroupBox*>(&control)) return {g->title()};
    QStringList items;
    if (const auto* list = qobject_cast<const QListWidget*>(&control))
        for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    return items;
}

int caption_padding(const QWidget& control) {
    const QStyle* style = control.style();
    if (const auto* l = qobject_cast<const QLabel*>(&control))
        return l->width() - l->contentsRect().width() + 2 * l->margin();
    if (const auto* b = qobject_cast<const QAbstractButton*>(&control)) return b->width() - button_text_room(*b);
    if (qobject_cast<const QGroupBox*>(&control)) return 2 * style->pixelMetric(QStyle::PM_LayoutLeftMargin);
    if (const auto* list = qobject_cast<const QListWidget*>(&control)) {
        // The frame, a scroll bar that may appear, and the item's text margins.
        const int text_margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
        return 2 * list->frameWidth() + style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list) + 2 * text_margin;
    }
    return 0;
}

void fit_caption(QWidget& control) {
    const QFontMetrics fm(control.font());
    int widest = 0;
    for (const QString& c : captions_of(control)) widest = std::max(widest, fm.horizontalAdvance(c));
    const int width = fitted_width(control.width(), {widest}, caption_padding(control));
    if (width != control.width()) control.resize(width, control.height());
}

void fit_captions(QWidget& window) {
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w) && !qobject_cast<QGroupBox*>(w) &&
            !qobject_cast<QListWidget*>(w))
            continue;
        const QRect designed = w->geometry();
        fit_caption(*w);
        if (w->width() == designed.width() || !w->parentWidget()) continue;
        // A neighbour on the same line that the grown control now covers gives way.
        const int designed_right = designed.x() + designed.width(), fitted_right = w->x() + w->width();
        for (QWidget* n : w->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect g = n->geometry();
            if (n == w || g.bottom() < designed.top() || g.top() > designed.bottom()) continue;
            const int left = neighbour_left(designed_right, fitted_right, g.x(), g.x() + g.width());
            if (left != g.x()) n->setGeometry(left, g.y(), g.x() + g.width() - left, g.height());
        }
    }
}

}  // namespace veldra::viewer
