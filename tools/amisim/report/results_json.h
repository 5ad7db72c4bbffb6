// results.json: every figure of a run's printed tables, the inputs that
// produced them and the models' texts, for programs (the sweeps read
// nothing else). docs/results.md describes it; docs/results.schema.json
// is its JSON Schema. A run that stopped early writes it too, marked
// incomplete with the reason, holding what it had.
#ifndef AMISIM_RESULTS_JSON_H
#define AMISIM_RESULTS_JSON_H

#include <string>
#include <vector>

#include "tools/amisim/run/run_results.h"
#include "tools/amisim/run/run_setting.h"

namespace amisim {

inline constexpr int kResultsSchemaVersion = 1;

// The document; files are the names of the other files the run wrote.
std::string results_json(const RunSetting &setting, const RunResults &results,
                         const std::vector<std::string> &files);

// Writes it to results.json in the output folder and prints its name.
bool write_results_json(const RunSetting &setting, const RunResults &results,
                        const std::vector<std::string> &files, std::string &error);

// The stand-in's version, the project's.
const char *amisim_version();

}  // namespace amisim

#endif  // AMISIM_RESULTS_JSON_H
