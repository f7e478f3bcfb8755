#pragma once
// The files a run hands over, for callers with a box of their own or a run to
// make.
//
// Whole runs: runSimulation (runner/driver.hpp) on a PreparedRuns makes every
// file vorlan makes for the same input and options, with the same bytes: the
// raw float32 files or a wind file, the run record beside the first output
// (record/run_record.hpp, docs/run-record.md) and a filled InflowWind input;
// each appears under its name only when the run has succeeded.
//
// Single files from fields in the classic layout, each with its contract in
// its header:
//   writeBts      TurbSim's full-field binary .bts (handover/bts_file.hpp)
//   writeWnd      the Bladed-style .wnd and its .sum (handover/wnd_file.hpp)
//   fillInflowWindTemplate   an InflowWind input filled in for the files
//                 (handover/inflowwind_template.hpp)
//   runRecordText the run record's JSON (record/run_record.hpp)
// The grid's placement above ground and the mean wind profile they need come
// from planHandOver (handover/hand_over.hpp) or placeGrid
// (handover/placement.hpp) and MeanProfile (handover/mean_profile.hpp).
#include "handover/bts_file.hpp"
#include "handover/hand_over.hpp"
#include "handover/inflowwind_template.hpp"
#include "handover/mean_profile.hpp"
#include "handover/placement.hpp"
#include "handover/wnd_file.hpp"
#include "record/run_record.hpp"
#include "runner/driver.hpp"
