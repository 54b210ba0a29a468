#include "cli/in_place.hpp"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "cli/text_stream.hpp"
#include "platform/paths.hpp"

namespace recodia {
namespace {

using platform::Attributes;
using platform::CreateMode;
using platform::DosDateTime;
using platform::Failure;
using platform::FileSystem;
using platform::InputFile;
using platform::NotCarried;
using platform::OutputFile;

// While it lives, the temporary file is removed should the program be interrupted.
class InterruptGuard {
 public:
  InterruptGuard(FileSystem& files, std::string name) : files_(files), name_(std::move(name)) {
    files_.remove_if_interrupted(name_);
  }
  ~InterruptGuard() { release(); }
  // Once the file has its final name, so that a signal cannot remove another
  // run's file that has since taken the temporary name.
  void release() {
    if (!name_.empty()) files_.keep_if_interrupted(name_);
    name_.clear();
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  FileSystem& files_;
  std::string name_;
};

// Creates a fresh temporary file in `directory`, for its owner alone until
// the text is complete. When another run takes a name first, the next is tried.
std::unique_ptr<OutputFile> create_temporary(const RunContext& context, const std::string& file,
                                             const std::string& directory, std::string& name) {
  for (int attempt = 0; attempt < 65535; ++attempt) {
    std::optional<std::string> candidate = context.temporary_names.make_temporary_name(context.files, directory);
    if (const auto in_the_way = context.temporary_names.take_name_in_the_way())
      context.reporter.report(Diagnostic::temporary_in_the_way, {context.reporter.name(*in_the_way, true)});
    if (!candidate) break;
    auto [created, failure] = context.files.create_for_writing(*candidate, CreateMode::exclusive);
    if (created) {
      name = *candidate;
      return std::move(created);
    }
    if (failure.kind != Failure::Kind::name_taken) {
      context.reporter.report(Diagnostic::cannot_create_temporary, {context.reporter.name(*candidate, true), failure.reason});
      return nullptr;
    }
  }
  context.reporter.report(Diagnostic::no_temporary_name, {context.reporter.name(file, false)});
  return nullptr;
}

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

// What replaces the original: the temporary file, and the file it was made from.
struct Replacement {
  const std::string& file;         // as the user named it
  const std::string& destination;  // the file itself, links followed
  const std::string& temporary;
  const Attributes* attributes;
  const std::optional<DosDateTime>& time;
};

// A temporary file on another file system than the destination: copy it into
// the destination's folder first, so that the final rename is still one step.
// Nothing when it replaced the original; otherwise why not.
std::optional<std::string> replace_across_devices(const RunContext& context, const Replacement& r,
                                                  std::vector<NotCarried>& lost) {
  auto [source, open_failure] = context.files.open_for_reading(r.temporary);
  if (!source) return open_failure.reason;
  std::string beside;
  std::unique_ptr<OutputFile> copy = create_temporary(context, r.file, platform::directory_of(r.destination), beside);
  if (!copy) return context.reporter.phrase(Diagnostic::no_temporary_beside);
  InterruptGuard guard(context.files, beside);
  bool ok = copy_blocks(*source, *copy);
  std::optional<std::string> why;
  if (!ok) why = source->failed() ? source->failure()->reason : copy->failure()->reason;
  source.reset();  // closed before it is removed
  ok = finish_replacement(*copy, r.attributes, r.time, lost) && ok;
  if (!why && !ok) why = copy->failure() ? copy->failure()->reason : context.reporter.phrase(Diagnostic::no_temporary_beside);
  if (!why) {
    if (const auto failure = context.files.rename_over(beside, r.destination)) why = failure->reason;
    else guard.release();
  }
  if (!why) {
    context.files.remove(r.temporary);
    return std::nullopt;
  }
  context.files.remove(beside);
  return why;
}

// `lost` is what the file that took the original's place lacks.
bool replace_original(const RunContext& context, const Replacement& r, std::vector<NotCarried>& lost) {
  std::optional<std::string> why;
  if (const auto failure = context.files.rename_over(r.temporary, r.destination)) {
    why = failure->reason;
    if (failure->kind == Failure::Kind::other_device) why = replace_across_devices(context, r, lost);
  }
  if (why) {
    const Reporter& rep = context.reporter;
    rep.report(Diagnostic::not_replaced, {rep.name(r.file, false), rep.name(r.temporary, true), *why});
    return false;
  }
  return true;
}

}  // namespace

bool convert_in_place(const std::string& name, const RunContext& context) {
  FileSystem& files = context.files;
  const Reporter& r = context.reporter;
  if (name == kStandardStream) {
    r.report(Diagnostic::standard_stream_in_place);
    return false;
  }
  auto [input, open_failure] = files.open_for_reading(name);
  if (!input) {
    r.report(Diagnostic::cannot_open, {r.name(name, false), open_failure.reason});
    return false;
  }
  // Only a regular file can be replaced safely; a device or a pipe cannot.
  const auto status = input->status();
  if (!status || !status->regular_file) {
    r.report(Diagnostic::not_regular_file, {r.name(name, false)});
    return false;
  }
  const std::unique_ptr<Attributes> attributes = input->attributes();
  // Through any links to the file itself, which is what the user sees.
  const std::string destination = files.follow_links(name);
  std::string temporary;
  std::unique_ptr<OutputFile> output = create_temporary(context, name, "", temporary);
  if (!output) return false;
  InterruptGuard guard(files, temporary);

  std::optional<DosDateTime> saved_time;
  if (context.command_line.preserve_time) saved_time = input->last_write_time();
  context.messages.print(kWaitMessage);

  std::vector<NotCarried> lost;
  switch (convert_stream(*input, *output, context, name, true)) {
    case StreamResult::converted: break;
    case StreamResult::refused:
      output.reset();  // closed before it is removed
      files.remove(temporary);
      return false;
    case StreamResult::failed:
      report_stream_failure(context, *input, name, *output, temporary);
      return false;
  }
  if (!finish_replacement(*output, attributes.get(), saved_time, lost)) {
    r.report(Diagnostic::cannot_write, {r.name(temporary, true), output->failure()->reason});
    return false;
  }
  // Closed before it is replaced: some systems refuse to rename over an open file.
  input.reset();
  if (!replace_original(context, {name, destination, temporary, attributes.get(), saved_time}, lost)) return false;
  guard.release();
  report_not_carried(r, name, lost);
  context.messages.print(kDoneMessage);
  return true;
}

bool convert_all_in_place(const RunContext& context) {
  const auto& names = context.command_line.file_names;
  if (names.empty()) context.reporter.report(Diagnostic::no_names_in_place);
  bool all = !names.empty();
  // A file named twice (or by a link as well) is converted once, not twice
  // over: the files are told apart before any is replaced by a new one.
  std::vector<std::optional<platform::FileIdentity>> identities;
  for (const std::string& name : names) {
    const auto status = name == kStandardStream ? std::nullopt : context.files.status(name);
    identities.push_back(status ? std::optional(status->identity) : std::nullopt);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    if (identities[i] && std::find(identities.begin(), identities.begin() + static_cast<std::ptrdiff_t>(i),
                                   identities[i]) != identities.begin() + static_cast<std::ptrdiff_t>(i)) {
      context.reporter.report(Diagnostic::named_twice, {context.reporter.name(name, false)});
      continue;
    }
    context.reporter.report(Diagnostic::converting_in_place, {context.reporter.name(name, false)});
    all = convert_in_place(name, context) && all;
  }
  return all;
}

std::optional<std::string> TemporaryNames::make_temporary_name(FileSystem& files, const std::string& directory) {
  for (int tried = 0; tried < 65535; ++tried) {
    if (++counter_ == 0) counter_ = 1;
    std::string name = directory + "TMP" + std::to_string(counter_) + ".$$$";
    if (!files.exists(name)) return name;
    if (!in_the_way_told_ && !in_the_way_) in_the_way_ = name;
  }
  return std::nullopt;
}

std::optional<std::string> TemporaryNames::take_name_in_the_way() {
  if (in_the_way_told_ || !in_the_way_) return std::nullopt;
  in_the_way_told_ = true;
  return in_the_way_;
}

}  // namespace recodia
