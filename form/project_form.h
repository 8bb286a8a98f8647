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

// None when the file cannot be opened or the reader rejects it; the reader has then shown its
// message through `questions` (when given). Changes the window's IAP Space selection.
std::optional<std::string> BuildProjectForm(model::Workbench& bench, const std::string& path,
                                            core::Questions* questions);

}  // namespace form
