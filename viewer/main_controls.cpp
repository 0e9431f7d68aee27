#include "viewer/main_controls.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "viewer/chart_main.h"
#include "viewer/fitted_captions.h"
#include "viewer/pic_map.h"
#include "viewer/twips.h"

namespace veldra::viewer {

namespace {

// Qt reports a press on a new item twice (selection changed, then pressed),
// so the press only counts when it did not change the selection.
class ListClicks : public QObject {
public:
    ListClicks(QListWidget* list, std::function<void()> handler)
        : QObject(list), list_(list), handler_(std::move(handler)) {
        list->viewport()->installEventFilter(this);
        connect(list, &QListWidget::itemSelectionChanged, this, [this] { handler_(); });
        connect(list, &QListWidget::itemPressed, this, [this](QListWidgetItem* item) {
            if (item->isSelected() && list_->row(item) == selected_before_press_) handler_();
        });
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) selected_before_press_ = selected_row(list_);
        return false;
    }

private:
    QListWidget* list_;
    std::function<void()> handler_;
    int selected_before_press_ = -1;
};

QToolButton* arrow_button(QWidget* parent, const char* name, Qt::ArrowType arrow) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setArrowType(arrow);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

}  // namespace

int selected_row(const QListWidget* list) {
    const auto items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.front());
}

QString selected_text(const QListWidget* list) {
    const auto items = list->selectedItems();
    return items.isEmpty() ? QString() : items.front()->text();
}

void on_list_click(QListWidget* list, std::function<void()> handler) { new ListClicks(list, std::move(handler)); }

void build_main_controls(QWidget& form, MainControls& c, MainLayout& layout) {
    QWidget* const self = &form;
    layout = MainLayout{};
    form.setObjectName("frmMain");
    form.setWindowTitle("Veldra GUI");
    form.resize(twips(kDesignedWidth), twips(kDesignedHeight));
    // The controls were sized for an 8-point face; larger captions would be
    // clipped by their designed widths.
    QFont small = form.font();
    small.setPointSizeF(8);
    form.setFont(small);

    c.lstMaps = new QListWidget(self);
    c.lstMaps->setObjectName("lstMaps");
    place(c.lstMaps, layout.lstMaps);
    c.lstIndex = new QListWidget(self);
    c.lstIndex->setObjectName("lstIndex");
    place(c.lstIndex, layout.lstIndex);
    c.lstClr = new QListWidget(self);
    c.lstClr->setObjectName("lstClr");
    place(c.lstClr, layout.lstClr);
    for (QListWidget* list : {c.lstMaps, c.lstIndex, c.lstClr})
        list->setSelectionMode(QAbstractItemView::SingleSelection);

    // Only the arrows change the year and month; their texts are never typed.
    c.txtYear = new QLineEdit("1900", self);
    c.txtYear->setObjectName("txtYear");
    c.txtYear->setReadOnly(true);
    place(c.txtYear, layout.txtYear);
    c.cmdYrUp = arrow_button(self, "cmdYrUp", Qt::UpArrow);
    place(c.cmdYrUp, layout.cmdYrUp);
    c.cmdYrDown = arrow_button(self, "cmdYrDown", Qt::DownArrow);
    place(c.cmdYrDown, layout.cmdYrDown);
    c.txtMonth = new QLineEdit("12", self);
    c.txtMonth->setObjectName("txtMonth");
    c.txtMonth->setReadOnly(true);
    place(c.txtMonth, layout.txtMonth);
    c.cmdMnUp = arrow_button(self, "cmdMnUp", Qt::UpArrow);
    place(c.cmdMnUp, layout.cmdMnUp);
    c.cmdMnDown = arrow_button(self, "cmdMnDown", Qt::DownArrow);
    place(c.cmdMnDown, layout.cmdMnDown);

    c.cmdAuto = button(self, "cmdAuto", "Auto");
    c.cmdAuto->setProperty("captions", QStringList{"Auto", "Manual"});
    place(c.cmdAuto, layout.cmdAuto);
    c.cmdAuto->setEnabled(false);
    c.cmdExport = button(self, "cmdExport", "Export");
    place(c.cmdExport, layout.cmdExport);
    c.cmdExport->setEnabled(false);

    c.lblUnitsTitle = label(self, "lblUnitsTitle", "Units:");
    place(c.lblUnitsTitle, layout.lblUnitsTitle);
    c.lblUnits = label(self, "lblUnits", QString());
    place(c.lblUnits, layout.lblUnits);
    c.lblMeanTitle = label(self, "lblMeanTitle", "Mean (yr): ");
    place(c.lblMeanTitle, layout.lblMeanTitle);
    c.lblMean = label(self, "lblMean", QString());
    place(c.lblMean, layout.lblMean);
    c.lblStdevTitle = label(self, "lblStdevTitle", "Std Dev (yr):");
    place(c.lblStdevTitle, layout.lblStdevTitle);
    c.lblStdev = label(self, "lblStdev", QString());
    place(c.lblStdev, layout.lblStdev);
    c.lblCellsTitle = label(self, "lblCellsTitle", "Cells: ");
    place(c.lblCellsTitle, layout.lblCellsTitle);
    c.lblCells = label(self, "lblCells", QString());
    place(c.lblCells, layout.lblCells);

    // A caption wider in this face than designed keeps its place and grows to
    // the right, where its value label leaves room.
    for (QLabel* title : {c.lblUnitsTitle, c.lblMeanTitle, c.lblStdevTitle, c.lblCellsTitle}) {
        title->resize(std::max(title->width(), title->sizeHint().width()), title->height());
    }
    // The layout places each value label beside its title as shown.
    layout.lblUnitsTitle.width = c.lblUnitsTitle->width() * 15.0;
    layout.lblMeanTitle.width = c.lblMeanTitle->width() * 15.0;
    layout.lblStdevTitle.width = c.lblStdevTitle->width() * 15.0;
    layout.lblCellsTitle.width = c.lblCellsTitle->width() * 15.0;

    c.cmdEnd = button(self, "cmdEnd", "End");
    place(c.cmdEnd, layout.cmdEnd);
    // Buttons and lists keep their designed widths wherever their captions fit.
    for (QWidget* w : std::initializer_list<QWidget*>{c.lstMaps, c.lstIndex, c.lstClr, c.cmdAuto, c.cmdExport, c.cmdEnd})
        fit_caption(*w);

    c.picMap = new PicMap(self);
    c.picMap->setObjectName("picMap");
    c.picMap->setFocusPolicy(Qt::StrongFocus);
    place(c.picMap, layout.picMap);

    c.chartMain = new ChartMain(self);
    c.chartMain->setObjectName("chartMain");
    place(c.chartMain, layout.chartMain);
    c.chartMain->hide();
    // The chart's lower right corner reaches under End; End stays in front.
    c.cmdEnd->raise();

    c.tmrAuto = new QTimer(self);
    c.tmrAuto->setObjectName("tmrAuto");
    c.tmrRedraw = new QTimer(self);
    c.tmrRedraw->setObjectName("tmrRedraw");

    // Keyboard focus: the map, End, the boxes, the lists, the arrows, the chart, Auto, Export.
    QWidget* order[] = {c.picMap,  c.cmdEnd,    c.txtYear, c.txtMonth,  c.lstIndex,  c.lstMaps,  c.lstClr,
                        c.cmdYrUp, c.cmdYrDown, c.cmdMnUp, c.cmdMnDown, c.chartMain, c.cmdAuto, c.cmdExport};
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void place_main_controls(const MainControls& c, const MainLayout& l) {
    const std::pair<QWidget*, const TwipRect*> controls[] = {
        {c.lstMaps, &l.lstMaps},       {c.lstIndex, &l.lstIndex},       {c.lstClr, &l.lstClr},
        {c.txtYear, &l.txtYear},       {c.cmdYrUp, &l.cmdYrUp},         {c.cmdYrDown, &l.cmdYrDown},
        {c.txtMonth, &l.txtMonth},     {c.cmdMnUp, &l.cmdMnUp},         {c.cmdMnDown, &l.cmdMnDown},
        {c.cmdAuto, &l.cmdAuto},       {c.cmdExport, &l.cmdExport},     {c.lblUnitsTitle, &l.lblUnitsTitle},
        {c.lblUnits, &l.lblUnits},     {c.lblMeanTitle, &l.lblMeanTitle}, {c.lblMean, &l.lblMean},
        {c.lblStdevTitle, &l.lblStdevTitle}, {c.lblStdev, &l.lblStdev}, {c.lblCellsTitle, &l.lblCellsTitle},
        {c.lblCells, &l.lblCells},     {c.cmdEnd, &l.cmdEnd},           {c.picMap, &l.picMap},
        {c.chartMain, &l.chartMain},
    };
    for (const auto& [widget, rect] : controls) {
        place(widget, *rect);
        fit_caption(*widget);
    }
}

}  // namespace veldra::viewer
