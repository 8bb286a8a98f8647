// The form text of a QRX project file: read with the project reader (no questions) into a
// record of its own, never into the window's, then the template filled with its 64 values.
#pragma once

#include <optional>
#include <string>

namespace core {
class Questions;
}
namespace model {
class Workbench;
}

namespace form {

// None when the file cannot be opened, the reader rejects it (it has then shown its message
// through `questions`, when given) or the file holds no data bytes. Changes the window's IAP
// Space selection.
std::optional<std::string> BuildProjectForm(model::Workbench& bench, const std::string& path,
                                            core::Questions* questions);

}  // namespace form
