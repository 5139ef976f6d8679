#pragma once
#include "platform/Files.h"

namespace quillet::qt {

// PLACEHOLDER: the Qt implementation lands with its subsystem's work.
class QtFiles : public Files {
 public:
  std::string tempPath() override { return "/tmp"; }
  Maybe<std::string> createUniqueFile(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  Maybe<Bytes> readResource(int) override { return std::nullopt; }
  Status writeFile(const std::string&, const Bytes&) override { return Status::failed(); }
  Status deleteFile(const std::string&) override { return Status::failed(); }
  std::string exePath() override { return {}; }
  std::string programFolder() override { return {}; }
};

}  // namespace quillet::qt
