// The whole run, from the command line to the output files, and the pieces
// of it that are worth reaching on their own (file naming, header comment,
// choice of the top-level system).
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "base/options.hpp"
#include "env/env.hpp"
#include "base/ident.hpp"
#include "driver/outputs.hpp"

namespace vorquel {

// Runs the translator with the given command line (argv[0] included) and
// returns the exit status. Never calls exit(): every stop is an exception
// caught here, so the run can also be driven in process (tests, fuzzing).
// A process that ends right after the run can leave the model's memory to
// the system instead of freeing it piece by piece: given `kept`, a
// successful run moves the model there, for the caller to never free.
struct Kept_memory {
  std::vector<Env> environments;
};
int run(const std::vector<std::string>& argv, Kept_memory* kept = nullptr);

// An output base name: the directory the files go into ("sub/" for
// "sub/typ", empty for "typ") and the name that the file names and the
// top-level node take.
struct Base_name {
  std::string directory;
  std::string stem;
};
Base_name split_base_name(const std::string& base);

// Final names of the six output files for a base name, each checked once,
// in this order (check_file_name). Replacing, the generated files take their
// names as they are, and so do the fillme files, which the program then
// includes whatever becomes of this run's versions.
struct Output_names {
  std::string fillme_nodes;
  std::string fillme_types;
  std::string fillme_const;
  std::string top;
  std::string scheduler;
  std::string nodes;
};
Output_names output_file_names(const std::string& base, bool replacing = false);

// The command line as written in the header comment: every word preceded by
// " ", broken before a word that would take a line past 70 characters.
std::string header_command_line(const std::vector<std::string>& words);
// The comment written at the top of every output file.
std::string header_comment(const std::vector<std::string>& words, const std::string& host, const std::tm& now);

// The -tc system when given (with the not-found report), else the one the
// scheduler analysis picks.
// A choice among several candidates is said in `warnings`, when given.
Ident get_top_level_system(const Options& options, const Env& env, std::vector<Diagnostic>* warnings = nullptr);

// Copies the schema directory named by AADL_SCHEMA_DIR under /tmp (the copy
// command announced at verbosity 1).
void copy_aadl_schema(int verbosity);

}  // namespace vorquel
