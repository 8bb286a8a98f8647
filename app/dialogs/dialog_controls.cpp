#include "app/dialogs/dialog_controls.h"

#include <QWidget>

#include "catalogue/lookup.h"
#include "platform/window_class.h"

namespace app::dialogs {

QString LanguageText(int key, const char* english, std::size_t field) {
    if (auto text = cat::LanguageField(static_cast<std::uint16_t>(key), field))
        return QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size()));
    return QString::fromUtf8(english);
}

void RegisterControl(QWidget* widget, int id) {
    widget->setObjectName(QStringLiteral("c%1").arg(id));
    platform::SetControlId(widget, id);
}

}  // namespace app::dialogs
