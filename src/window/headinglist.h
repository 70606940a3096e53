#pragma once
// How the heading list (Combo1) is set up, here so that the benchmark opens the very same list.
//
// The list drops below the box, as a list box does. Laid over the box as a menu, which some
// platform styles ask for, it would first be sized to its widest heading, and every one of
// many thousand headings would be measured each time it opens. Rows of one height and a plain
// list model keep filling it and scrolling through it quick.

#include <QComboBox>
#include <QListView>
#include <QProxyStyle>
#include <QStringListModel>

namespace quillbox::window {

class DropDownListStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returned) const override
    {
        return hint == SH_ComboBox_Popup ? 0 : QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

// Gives the box its list model, owned by the box, and returns it.
inline QStringListModel *setUpHeadingList(QComboBox *combo)
{
    auto *style = new DropDownListStyle;
    style->setParent(combo);
    combo->setStyle(style);
    auto *model = new QStringListModel(combo);
    combo->setModel(model);
    auto *view = new QListView(combo);
    view->setUniformItemSizes(true);
    combo->setView(view);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return model;
}

} // namespace quillbox::window
