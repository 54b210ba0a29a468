#include "cli/in_place.hpp"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "cli/text_stream.hpp"

namespace recodia {
namespace {

using platform::Attributes;
using platform::DosDateTime;
using platform::Failure;
using platform::InPlaceFile;
using platform::NotCarried;
using platform::OutputFile;

// What "-bak" names the original beside the converted file.
constexpr std::string_view kBackupSuffix = ".bak";

// Readies a finished file to stand in for the original: what the original
// had, the saved time, and everything pushed to storage before anything is
// renamed. `lost` says what could not be carried over.
bool finish_replacement(OutputFile& file, const Attributes* attributes, const std::optional<DosDateTime>& time,
                        std::vector<NotCarried>& lost) {
  bool ok = file.flush();
  if (ok && time && !time->is_zero()) file.set_last_write_time(*time);  // a failure here is ignored
  if (ok && attributes) lost = file.carry_over(*attributes);
  return file.close() && ok;
}

void report_not_carried(const Reporter& r, const std::string& file, const std::vector<NotCarried>& lost) {
  for (const NotCarried& n : lost) {
    const std::string shown = r.name(file, true);
    switch (n.what) {
      case NotCarried::What::permissions: r.report(Diagnostic::lost_permissions, {shown, n.reason}); break;
      case NotCarried::What::owner: r.report(Diagnostic::lost_owner, {shown, n.reason}); break;
      case NotCarried::What::group: r.report(Diagnostic::lost_group, {shown, n.reason}); break;
      case NotCarried::What::access_control_list: r.report(Diagnostic::lost_access_control_list, {shown, n.reason}); break;
      case NotCarried::What::extended_attribute: r.report(Diagnostic::lost_extended_attribute, {shown, n.name, n.reason}); break;
      case NotCarried::What::attributes: r.report(Diagnostic::lost_attributes, {shown, n.reason}); break;
    }
  }
}

void report_open_failure(const Reporter& r, const std::string& name, const Failure& failure) {
  if (failure.kind == Failure::Kind::not_regular) r.report(Diagnostic::not_regular_file, {r.name(name, false)});
  else r.report(Diagnostic::cannot_open, {r.name(name, false), failure.reason});
}

// Puts the converted text in the original's place, the original kept as
// NAME.bak first when asked; says why not when it cannot.
bool put_in_place(const RunContext& context, InPlaceFile& file, const std::string& name) {
  const Reporter& r = context.reporter;
  const std::string suffix = context.command_line.keep_backup ? std::string(kBackupSuffix) : std::string();
  const platform::MaybeFailure failure = file.replace(suffix);
  if (!failure) return true;
  if (failure->kind == Failure::Kind::changed) r.report(Diagnostic::changed_meanwhile, {r.name(name, false)});
  else if (failure->kind == Failure::Kind::no_backup) r.report(Diagnostic::no_backup, {r.name(name, false), r.name(name + suffix, true), failure->reason});
  else r.report(Diagnostic::not_replaced, {r.name(name, false), failure->reason});
  return false;
}

// The file opened, converted beside itself and put in its place. Nothing of
// the conversion is left behind when anything fails or is refused.
bool convert_opened(const std::string& name, InPlaceFile& file, const RunContext& context) {
  const Reporter& r = context.reporter;
  platform::InputFile& input = file.original();
  const std::unique_ptr<Attributes> attributes = input.attributes();
  auto [output, create_failure] = file.create_replacement();
  if (!output) {
    r.report(Diagnostic::cannot_create_temporary, {r.name(name, false), create_failure.reason});
    return false;
  }
  std::optional<DosDateTime> saved_time;
  if (context.command_line.preserve_time) saved_time = input.last_write_time();
  context.messages.print(kWaitMessage);

  switch (convert_stream(input, *output, context, name, true)) {
    case StreamResult::converted: break;
    case StreamResult::refused: return false;
    case StreamResult::failed:
      if (input.failed()) r.report(Diagnostic::cannot_read, {r.name(name, false), input.failure()->reason});
      else r.report(Diagnostic::cannot_write_converted, {r.name(name, false), output->failure()->reason});
      return false;
  }
  std::vector<NotCarried> lost;
  if (!finish_replacement(*output, attributes.get(), saved_time, lost)) {
    r.report(Diagnostic::cannot_write_converted, {r.name(name, false), output->failure()->reason});
    return false;
  }
  if (!put_in_place(context, file, name)) return false;
  report_not_carried(r, name, lost);
  context.messages.print(kDoneMessage);
  return true;
}

}  // namespace

bool convert_in_place(const std::string& name, const RunContext& context) {
  const Reporter& r = context.reporter;
  if (name == kStandardStream) {
    r.report(Diagnostic::standard_stream_in_place);
    return false;
  }
  auto [file, failure] = context.files.open_in_place(name);
  if (!file) {
    report_open_failure(r, name, failure);
    return false;
  }
  return convert_opened(name, *file, context);
}

bool convert_all_in_place(const RunContext& context) {
  const auto& names = context.command_line.file_names;
  const Reporter& r = context.reporter;
  bool all = !names.empty();  // none named: said with the command line's faults
  // A file named again (by the same name, a link or another hard link) is
  // converted once. Each file is told by what its name leads to when it is
  // opened: a file converted earlier now has the identity of its replacement,
  // which this run made and which stays in place; the original is remembered
  // only while other names keep it, since the system reuses a freed identity.
  std::vector<platform::FileIdentity> converted;
  for (const std::string& name : names) {
    if (name == kStandardStream) {
      r.report(Diagnostic::converting_in_place, {r.name(name, false)});
      r.report(Diagnostic::standard_stream_in_place);
      all = false;
      continue;
    }
    auto [file, failure] = context.files.open_in_place(name);
    if (file && std::ranges::find(converted, file->identity()) != converted.end()) {
      r.report(Diagnostic::named_twice, {r.name(name, false)});
      continue;
    }
    r.report(Diagnostic::converting_in_place, {r.name(name, false)});
    if (!file) {
      report_open_failure(r, name, failure);
      all = false;
      continue;
    }
    const platform::FileIdentity original = file->identity();
    const bool kept_by_other_names = file->has_other_names();
    const bool done = convert_opened(name, *file, context);
    all = done && all;
    // Left as it was, the original keeps its name and so its identity.
    converted.push_back(done ? file->identity() : original);
    if (done && kept_by_other_names) converted.push_back(original);
  }
  return all;
}

}  // namespace recodia
