// The "mat" extension command: material statistics from PGN files and
// random games ("add", "rnd"), written as the trainer's table ("write") or
// saved and restored as a memory image ("writemem", "readmem"), discarded
// ("delete"), and the training of the material network on a table
// ("learn", which never returns). Everything runs on the command thread.
#pragma once

#include <memory>

#include "eval/material_trainer.h"

class MaterialStatistics;

class MatCommand {
 public:
  // The longest file name taken from a command line.
  static constexpr size_t MaxFileName = 1023;

  MatCommand();
  ~MatCommand();
  MatCommand(const MatCommand&) = delete;
  MatCommand& operator=(const MatCommand&) = delete;

  // Runs one command line ("mat" and its sub-command). Unknown forms are
  // ignored without an answer; file problems are reported on standard
  // error.
  void run(const char* line);

  // Whether the line may run while a search goes on: true for the
  // sub-commands that touch nothing but the statistics ("delete", "write",
  // "writemem") and for unknown forms; false for those that draw from the
  // process-wide random generator ("add", "rnd" and "readmem", which may
  // create the statistics and their random keys) and for "learn", which
  // never returns.
  static bool runsBesideASearch(const char* line);

  // The statistics collected so far; null when none are being collected.
  const MaterialStatistics* current() const { return statistics_.get(); }
  // Where "learn" writes and when it stops; by default it trains forever,
  // writes materialwerte.txt and NeuroLrn.txt and tells on standard error
  // (once for each) when one of them cannot be written.
  TrainerSettings& trainerSettings() { return trainerSettings_; }

 private:
  // The statistics, created when there are none.
  MaterialStatistics& statistics();

  std::unique_ptr<MaterialStatistics> statistics_;
  TrainerSettings trainerSettings_;
};
