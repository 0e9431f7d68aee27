// Captions that fit their controls in the face the window shows them in:
// the room a control's style leaves for its text, and widening the labels,
// buttons, group boxes and lists of a window whose captions need more than
// their designed width (left and top stay as designed).
#pragma once

#include <QStringList>

class QWidget;

namespace veldra::viewer {

// The captions a control can show: its text, or a list's items; a control
// whose caption changes names every caption it takes in the property
// "captions" (a QStringList), e.g. "Auto" and "Manual".
QStringList captions_of(const QWidget& control);

// The pixels of the control's width its style keeps for other things than
// the text: frame, margins, an indicator, a list's scroll bar.
int caption_padding(const QWidget& control);

// Widens `control` where its widest caption does not fit.
void fit_caption(QWidget& control);

// fit_caption for every label, button, group box and list within `window`;
// a neighbour on the same line that a grown control would cover gives way
// (its left edge moves to the grown control's right edge, its right edge
// stays).
void fit_captions(QWidget& window);

}  // namespace veldra::viewer
