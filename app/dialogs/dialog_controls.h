// What every dialog does with its controls: language texts with an English fallback, and
// registration under the control's number, so that language keys and tests find it by id.
#pragma once

#include <QString>
#include <cstddef>

class QWidget;

namespace app::dialogs {

// Field `field` of language entry `key` (0: the text, 1: the tooltip), else `english`.
QString LanguageText(int key, const char* english, std::size_t field = 0);

// Names the widget "c<id>" and registers it under control id `id`.
void RegisterControl(QWidget* widget, int id);

template <typename W>
W* Registered(W* widget, int id) {
    RegisterControl(widget, id);
    return widget;
}

}  // namespace app::dialogs
