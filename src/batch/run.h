// One command-line run: its jobs converted by the pool while the report
// tells the user, then the records of reruns saved.
#pragma once

#include <ostream>

#include "batch/jobs.h"
#include "batch/report.h"

// Converts the jobs with options.jobs threads at once; each job's line (its
// summary or its failure) goes to `diag` whole and in the run's order. With
// `columns`, `diag` is that terminal and a status line is kept on it. Returns
// the run's exit status. An interruption ends it early: the models not
// converted by then are counted as not started.
int run_batch(JobList& list, const Settings& options, std::ostream& out, std::ostream& diag,
              Columns columns);
