#pragma once
#include <string>

#include "platform/Registry.h"

namespace quillet {

void AssociateFileType(Registry& registry, const std::string& extension,
                       const std::string& typeName, const std::string& exePath);
void RemoveFileAssociation(Registry& registry, const std::string& extension,
                           const std::string& typeName, const std::string& exePath);

}  // namespace quillet
