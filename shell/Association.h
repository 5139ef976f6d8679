#pragma once
#include <string>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Trace.h"
#include "platform/Window.h"

namespace quillet {

void AssociateFileType(Registry& registry, Trace& trace, const std::string& extension,
                       const std::string& typeName, const std::string& exePath);
void RemoveFileAssociation(Registry& registry, Trace& trace, const std::string& extension,
                           const std::string& typeName, const std::string& exePath);

// The "Associate with .flv files" box: associates .flv files with the
// program when checked, removes the association when cleared.
void Check1_Click(const CheckBox& check1, Registry& registry, Files& files, Trace& trace);

}  // namespace quillet
