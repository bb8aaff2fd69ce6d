#pragma once
// The digests of a catalog's files, keyed by their nodes in the tree read
// with them (model/catalog.h gives the lookups), so that FileNode stays as
// small as it is.
#include "model/catalog.h"

// An empty table; null when memory runs out.
CatalogDigests* CreateCatalogDigests(bool holdsDigests);
// False when memory runs out; the table is then as it was.
bool AddCatalogDigest(CatalogDigests* digests, const FileNode* node, const FileDigest& digest);
