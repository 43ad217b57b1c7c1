// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The cut engine: the cut state; the split plan that turns three size texts
// into a table of pieces, and the plan of a cut that lays them on the song's
// frames; the piece writer that copies them and keeps the middle one; and
// the conventions and file operations the windows share with them; the kept
// file alone, as the command-line cutter writes it, and times as typed.

#include "conventions.h"
#include "cut_plan.h"
#include "cut_state.h"
#include "event_pass.h"
#include "file_ops.h"
#include "kept_file.h"
#include "piece_writer.h"
#include "split_plan.h"
#include "time_text.h"
