// The inventory document: the products of each kind asked for, completed
// with the summary members, shown in the log and saved in compact form to the
// file named on the command line. Every member name of the document is
// written here (docs/inventory.md describes them).
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "inventory/security_query.h"

namespace velmora {

// Adds each product of the reading as document[kind][index] ("firewall",
// "av" or "antispyware"), member by member: what the reading lacks stays as
// it was. The array grows with null elements up to the index; a product with
// nothing read adds nothing, so the document stays null while no kind has
// read a product.
void addKindToDocument(nlohmann::json& document, const KindReading& reading);

// Adds "is_av_installed" (true when "av" holds at least one element; a
// missing "av" is added as null) and "os" (the display text of the release).
void completeInventoryDocument(nlohmann::json& document, const std::string& osText);

// Completes the document, logs it indented and saves it compact (no line
// break at the end) to outputPath. Every outcome is logged here.
void publishInventoryDocument(nlohmann::json& document, const std::u16string& outputPath, const std::string& osText);

}  // namespace velmora
