#include "form/project_form.h"

#include "form/form_slots.h"
#include "form/form_template.h"
#include "project/file_io.h"
#include "project/qrx_file.h"
#include "workbench/workbench.h"

namespace form {

std::optional<std::string> BuildProjectForm(model::Workbench& bench, const std::string& path,
                                            core::Questions* questions) {
    const auto content = proj::ReadWholeFile(path);
    if (content.status != proj::ReadStatus::Ok) return std::nullopt;
    proj::ProjectInfo file;
    const auto read = proj::ReadProjectTrailer(file, content.bytes, false, questions);
    // No data bytes is a failed read too (it returns 0), with no message of its own.
    if (!read.accepted || read.dataLength == 0) return std::nullopt;
    const auto slots = ComputeFormSlots(bench, file, path);
    return FillTemplate(FormTemplate(), slots);
}

}  // namespace form
