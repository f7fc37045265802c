// The ledger's side of a job: with -u, whether the model is up to date (its
// model, OBJ, MTL, images and textures as the ledger remembers them), and
// once it is converted, what the ledger is to remember of it.
#pragma once

#include <string>

#include "batch/pool.h"

// With -u, a job whose OBJ is up to date (or, with -n, that would convert)
// ends here, with `end` told; false where it is to be converted. `key` is
// the OBJ's in the ledger.
bool settled_by_ledger(Pool* pool, const Job& job, Ledger* ledger, const std::string& key,
                       const Conversion& conversion, JobEnd* end);

// Remembered whether it converted or failed: a model that failed is tried
// again by every -u run.
void note_in_ledger(const Pool& pool, const Job& job, Ledger* ledger, const std::string& key,
                    const Conversion& conversion, const Converted& done);
