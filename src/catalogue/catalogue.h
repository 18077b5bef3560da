// --catalogue: a whole run seen at once. After the batch, three files in the
// output folder, or the working folder without -o: index.html, one page a
// browser opens offline with a tile for each carrier; index.json, a record of
// each for scripts; and SHA256SUMS, every output the run wrote in the form
// sha256sum -c checks.
#pragma once

#include <vector>

#include "record.h"

// Why the catalogue cannot be written into `folder`, in words: a file there
// under one of its names that --catalogue did not make, which it never
// replaces. Empty when nothing stands in the way.
NativeString CatalogueBlocked(Platform& os, const NativeString& folder, bool checkOnly);

// Writes index.json, SHA256SUMS after a conversion, then index.html, each
// through a staging file that takes its name once complete; what went
// wrong, in words.
std::vector<NativeString> WriteCatalogue(Platform& os, const Catalogue& catalogue);
