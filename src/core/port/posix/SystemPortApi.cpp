#include "port/SystemPortApi.h"

#include "port/posix/PosixPortApi.h"

namespace quillmark {

std::unique_ptr<PortApi> MakeSystemPortApi() {
  return std::make_unique<PosixPortApi>();
}

}  // namespace quillmark
