// check and fix: the profile doctor's findings for each profile, and its repairs.
#include "commands.h"
#include "doctor.h"

namespace cli {
namespace {

std::string FindingJson(const icc::Finding& f) {
  return std::string("{\"severity\": \"") + icc::SeverityName(f.severity) + "\", \"code\": " +
         JsonString(f.code) + ", \"tag\": " + (f.tag ? JsonString(icc::TagName(f.tag)) : "null") +
         ", \"offset\": " + (f.offset < 0 ? "null" : std::to_string(f.offset)) +
         ", \"message\": " + JsonString(f.message) + "}";
}

bool Counts(const icc::Finding& f, bool strict) {
  return f.severity == icc::Severity::Error || (strict && f.severity == icc::Severity::Warning);
}

struct Outcome {
  std::string path;
  // The headline: the file as it is now (check, fix --dry-run) or as it is once repaired.
  std::string health;
  std::vector<icc::Finding> findings;
  std::vector<std::string> repaired;
};

std::string Json(const Outcome& o, bool fix) {
  std::string out = "{\"path\": " + JsonString(o.path) + ", \"findings\": [";
  for (std::size_t i = 0; i < o.findings.size(); ++i)
    out += (i ? ", " : "") + FindingJson(o.findings[i]);
  out += "]";
  if (fix) {
    out += ", \"repaired\": [";
    for (std::size_t i = 0; i < o.repaired.size(); ++i)
      out += (i ? ", " : "") + JsonString(o.repaired[i]);
    out += "]";
  }
  return out + "}";
}

std::string Text(const Outcome& o, bool fix, bool dry_run) {
  std::string out = Printable(o.path) + ": " + o.health + "\n";
  if (fix && !o.repaired.empty()) {
    out += dry_run ? "  would repair:" : "  repaired:";
    for (const std::string& code : o.repaired) out += " " + code;
    out += "\n";
  }
  for (const icc::Finding& f : o.findings) out += "  " + icc::FindingLine(f) + "\n";
  return out;
}

int Run(Tool& tool, const std::vector<std::string>& args, bool fix) {
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> paths;
  std::vector<OptionSpec> spec = {{"-r", false}, {"--json", false}, {"--strict", false}};
  if (fix) spec.insert(spec.end(), {{"--dry-run", false}, {"--in-place", false}});
  if (!tool.ParseOptions(args, spec, &options, &paths)) return kExitUsage;
  if (paths.empty()) return tool.Usage(std::string(fix ? "fix" : "check") + " needs a PATH");
  const bool json = Tool::Has(options, "--json");
  const bool strict = Tool::Has(options, "--strict");
  const bool dry_run = Tool::Has(options, "--dry-run");
  tool.platform().in_place = Tool::Has(options, "--in-place");

  const std::vector<std::string> files = tool.CollectProfiles(paths, Tool::Has(options, "-r"));
  bool flagged = false;
  bool first = true;
  if (json) tool.Out("{\"profiles\": [");
  tool.BeginProgress(files.size());
  for (const std::string& path : files) {
    tool.Step();
    std::string reason;
    // A file to be repaired must be one a save may write (not read-only, not a folder); a
    // profile too damaged to open is still checked, and nothing in it is repaired.
    const bool writable = !fix || dry_run || tool.platform().Open(path, true, &reason) ||
                          reason == NotAProfile();
    std::unique_ptr<icc::SourceFile> file =
        writable ? tool.platform().OpenFile(path, &reason) : nullptr;
    if (!file) {
      tool.Fail(path, reason);
      continue;
    }
    Outcome o;
    o.path = path;
    icc::Result result;
    const bool large = file->Size() > kLargestHeld;
    if (fix && large) {
      tool.Fail(path, (dry_run ? "would fail: the profile is too large to repair (" :
                                 "the profile is too large to repair (") +
                          Megabytes(file->Size()) + "; at most " + Megabytes(kLargestHeld) +
                          "); the file is left as it was");
      continue;
    }
    if (large) {
      icc::CheckReport report;
      result = icc::CheckStructure(*file, &report);
      report.findings.push_back({icc::Severity::Note, "colour-not-checked", 0, -1,
                                 "The profile is larger than " + Megabytes(kLargestHeld) +
                                     ": its colour is not checked, only its structure."});
      o.health = icc::HealthText(report);
      o.findings = report.findings;
    } else if (fix) {
      doctor::Repair repair;
      result = doctor::RepairProfile(*file, &repair);
      if (result.ok() && repair.profile && !dry_run) {
        file.reset();
        result = tool.platform().Replace(path, *repair.profile);
      }
      o.health = icc::HealthText(dry_run ? repair.before : repair.after);
      o.findings = repair.after.findings;
      o.repaired = repair.repaired;
      if (!result.ok()) o.repaired.clear();
    } else {
      icc::CheckReport report;
      result = doctor::CheckProfile(*file, &report);
      o.health = icc::HealthText(report);
      o.findings = report.findings;
    }
    if (!result.ok()) {
      tool.Fail(path, tool.Reason(result));
      continue;
    }
    for (const icc::Finding& f : o.findings) flagged = flagged || Counts(f, strict);
    if (json) {
      tool.Out(std::string(first ? "" : ", ") + Json(o, fix));
    } else {
      tool.Out(Text(o, fix, dry_run));
    }
    first = false;
  }
  tool.EndProgress();
  if (json) tool.Out("]}\n");
  return flagged || tool.Failed() ? kExitFailed : kExitOk;
}

}  // namespace

int RunCheck(Tool& tool, const std::vector<std::string>& args) { return Run(tool, args, false); }
int RunFix(Tool& tool, const std::vector<std::string>& args) { return Run(tool, args, true); }

}  // namespace cli
