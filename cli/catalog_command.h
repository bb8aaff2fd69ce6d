#pragma once
// Catalogs in the companion: the catalog command, which saves a folder's
// listing (and with --content its files' digests) to a file, and the
// catalogs that analyze takes in a folder's place.
#include "analysis/background_ops.h"
#include "cli/arguments.h"
#include "cli/exclusion_patterns.h"
#include "cli/locations.h"
#include "model/catalog.h"

#include <string>

namespace cli {

// Writes the catalog of FOLDER to FILE (the two "folders" of the command
// line), leaving out what `exclusions` match and recording them in its
// header, and tells how it went on standard error. Returns the exit status: 0 every entry written whole, 1
// some written as unknown or without their digest (see the log), 2 trouble
// (FILE then as it was).
int RunCatalogCommand(const Options& options, const RunExclusions& exclusions);

// commit and update change folders: a catalog stands for one but is none.
// Returns an empty text, or the refusal.
std::wstring RefuseCatalogs(Command command, const std::wstring (&arguments)[2], const LocationKind (&kinds)[2]);

// verify takes a catalog, then the folder it stands for. Returns an empty
// text, or what the arguments name instead.
std::wstring CheckVerifiedPair(const std::wstring (&arguments)[2], const LocationKind (&kinds)[2]);

// The digests of the catalogs that stand for LEFT or RIGHT, freed with the run.
class CatalogSides {
public:
    CatalogSides() = default;
    ~CatalogSides();
    CatalogSides(const CatalogSides&) = delete;
    CatalogSides& operator=(const CatalogSides&) = delete;

    // Reads each catalog among LEFT and RIGHT into its slot's tree, before the
    // worker starts, which then leaves that slot unscanned. Returns an empty
    // text, or what is wrong (naming the line of a damaged catalog); in
    // content mode a catalog made without --content is refused. The
    // exclusions a catalog was made with join the run's, for the other side
    // too (the data's list is set anew), and are named once on standard error.
    std::wstring Load(BackgroundOpsData* data, const std::wstring (&paths)[2], const LocationKind (&kinds)[2],
                      RunExclusions* exclusions);
    // Whether the catalog read for `side` holds its files' digests.
    bool HoldsDigests(int side) const { return CatalogHoldsDigests(m_digests[side]); }

private:
    CatalogDigests* m_digests[2] = {};
};

}  // namespace cli
