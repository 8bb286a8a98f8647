// The code buffer as held by the hex-grid control: every access is a message to the control.
#pragma once

#include <QWidget>

#include "core/operator_ports.h"

namespace app {

class QuadrelBuffer : public core::CodeBufferPort {
  public:
    explicit QuadrelBuffer(QWidget* control = nullptr) : control_(control) {}
    void SetControl(QWidget* control) { control_ = control; }
    QWidget* control() const { return control_; }

    std::uint32_t Size() const override;
    std::vector<std::uint8_t> Bytes() const override;
    void SetBytes(const std::vector<std::uint8_t>& bytes) override;
    std::uint32_t Checksum() const override;
    void SetCapacity(std::uint32_t capacity) override;
    std::uint32_t Capacity() const override;
    void ClearAll() override;

  private:
    QWidget* control_;
};

// Grey backgrounds, font height 14, four address digits with 16 bytes a row.
void ConfigureCodeBufferControl(QWidget* control);

}  // namespace app
