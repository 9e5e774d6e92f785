#include "valko/ValkoCommon.h"

namespace tbx {
namespace {

// The agent's cryptography runs in the agent; in this process the service only has to exist
// once and answer that it is usable.
class COpensslService : public IOpensslInterface {
 public:
  COpensslService() = default;
  bool IsReady() const override { return true; }

 private:
  COpensslService(const COpensslService&) = delete;
  COpensslService& operator=(const COpensslService&) = delete;
};

}  // namespace

IOpensslInterface* NewOpensslInterface() {
  static COpensslService service;
  return &service;
}

}  // namespace tbx
