#pragma once

namespace quillmark {

// An open printer port. Destroying it closes the port.
class PortDevice {
 public:
  virtual ~PortDevice() = default;
};

}  // namespace quillmark
