#include "shell/Association.h"

#include "window/Form1.h"

namespace quillet {

// PLACEHOLDER: filled in by the association work.
void AssociateFileType(Registry&, const std::string&, const std::string&, const std::string&) {}
void RemoveFileAssociation(Registry&, const std::string&, const std::string&,
                           const std::string&) {}
void Form1::Check1_Click() {}

}  // namespace quillet
