// --delete: a tree of OBJ files that mirrors its models, also when a model
// is removed.
#pragma once

#include "batch/jobs.h"
#include "batch/report.h"

// Removes the OBJ files that the run's ledgers list for models that are gone:
// only within what the run covers (its walked folders and its shard), only
// where the run would write them, and only where nobody changed them since
// (their size and time as the ledger holds them); -n lists them instead.
// An entry whose path leaves its ledger's folder, or that names no OBJ file,
// is never acted on: it is told once, and the ledger forgets it.
void delete_gone(JobList* list, const Settings& options, Report* report);
