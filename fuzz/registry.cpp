// The registry store's file reader: any bytes as the hive file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/qt/settings/RegistryStore.h"

using quillet::qt::RegistryStore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  RegistryStore store = RegistryStore::parse(text);
  // What was read is written back in a form that reads as the same hive.
  const std::string written = store.serialize();
  const RegistryStore again = RegistryStore::parse(written);
  FUZZ_CHECK(again.serialize() == written);

  // The association's own names work on whatever was read.
  const std::string exe = "/usr/bin/quillet";
  FUZZ_CHECK(store.write("HKCR\\.flv\\", "image"));
  FUZZ_CHECK(store.write("HKCR\\image\\shell\\open\\command\\", exe + " \"%1\""));
  FUZZ_CHECK(store.read("HKCR\\.flv\\") == std::string("image"));
  store.subkeys("HKCR\\");
  // Either outcome is fine; only a crash or a broken hive is not.
  static_cast<void>(store.remove("HKCR\\image\\shell\\open\\command\\"));
  static_cast<void>(store.remove("HKCR\\.flv\\"));
  FUZZ_CHECK(RegistryStore::parse(store.serialize()).serialize() == store.serialize());
  return 0;
}
