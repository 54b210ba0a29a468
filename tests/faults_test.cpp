// What goes wrong: inputs that cannot be read, outputs that cannot be
// written, full disks, long names, every temporary name taken, the output
// being standard output, and each step of the in-place replacement failing in
// turn. In every case no file may be lost and no failure reported as success.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "cli/messages.hpp"
#include "cli/run.hpp"
#include "fault_injection.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

const char* const kText = "Съешь же ещё этих мягких французских булок,\nда выпей же чаю. ЁЁЁ ёёё\n";
Bytes original() { return iconv_convert("UTF-8", "CP1251", kText); }
Bytes converted() { return iconv_convert("UTF-8", "KOI8-R", kText); }

std::string message(int number) { return std::string(select_messages(Language::english)[number - 1]) + "\n"; }
const std::string kBanner = message(kBannerMessage);
const std::string kWait = message(kWaitMessage);
const std::string kDone = message(kDoneMessage);

// ---- a. The input cannot be opened ----------------------------------------

TEST(UnopenableInput, OutputNeitherCreatedNorEmptied) {
  struct Case {
    const char* name;
    bool unprivileged;  // needed for the unreadable file when running as root
  };
  const Case kinds[] = {{"missing", false}, {"unreadable", true}, {"folder", false}};
  for (const Case& kind : kinds) {
    for (bool output_exists : {false, true}) {
      for (bool in_place : {false, true}) {
        SCOPED_TRACE(testing::Message() << kind.name << (output_exists ? ", output exists" : "")
                                        << (in_place ? ", in place" : ""));
        if (kind.unprivileged && !permissions_bind()) continue;  // root reads every file
        TempDir dir;
        ::chmod(dir.path().c_str(), 0777);
        const std::string k = kind.name;
        if (k == "unreadable") {
          write_file(dir / "in", original());
          ::chmod((dir / "in").c_str(), 0);
        }
        if (k == "folder") std::filesystem::create_directory(dir / "in");
        if (output_exists) write_file(dir / "out", "keep this");
        ProcessSetting setting;
        setting.unprivileged = kind.unprivileged;
        const RunResult r = run_recodia_with({"-w", "-tokoi8", "in", in_place ? "in" : "out"}, dir.path(), setting);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, kBanner) << "no wait message";
        EXPECT_EQ(std::filesystem::exists(dir / "out"), output_exists);
        if (output_exists) {
          EXPECT_EQ(read_file(dir / "out"), "keep this");
        }
        if (k == "unreadable") {
          EXPECT_EQ(hex(read_file(dir / "in")), hex(original()));
        }
        if (k == "folder") {
          EXPECT_TRUE(std::filesystem::is_directory(dir / "in"));
        }
        // No temporary file, nothing else.
        EXPECT_EQ(folder_listing(dir.path()).size(), (k == "missing" ? 0u : 1u) + (output_exists ? 1u : 0u));
      }
    }
  }
}

TEST(UnopenableInput, NothingIsCreatedThroughTheSeam) {
  TempDir dir;
  CurrentDirectory cwd(dir.path());
  write_file(dir / "in", original());
  for (std::string_view output : {"out", "in"}) {
    FaultyFileSystem files;
    files.add({Operation::open_for_reading});
    FakeConsole console;
    const std::vector<std::string_view> args = {"-ni", "in", output};
    EXPECT_EQ(run_program(args, files, console), 1);
    EXPECT_TRUE(files.create_requests().empty());
    EXPECT_EQ(console.out, "");
    EXPECT_EQ(folder_listing(dir.path()), std::vector<std::string>{"in"});
  }
}

// ---- Outputs that cannot be created ---------------------------------------

TEST(UncreatableOutput, UnwritableFolders) {
  if (!permissions_bind()) GTEST_SKIP() << "root, and cannot run as another user";
  TempDir dir;
  ::chmod(dir.path().c_str(), 0777);
  std::filesystem::create_directories(dir / "locked");
  std::filesystem::create_directories(dir / "open");
  write_file(dir / "open" / "a.txt", original());
  ::chmod((dir / "open").c_str(), 0777);
  ::chmod((dir / "open" / "a.txt").c_str(), 0666);
  ::chmod((dir / "locked").c_str(), 0555);
  ProcessSetting setting;
  setting.unprivileged = true;
  {
    SCOPED_TRACE("the temporary file's folder (the current one) is not writable");
    const RunResult r = run_recodia_with({"-w", "-tokoi8", "../open/a.txt", "../open/a.txt"}, dir / "locked", setting);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kBanner);
    EXPECT_EQ(hex(read_file(dir / "open" / "a.txt")), hex(original()));
    EXPECT_TRUE(folder_listing(dir / "locked").empty());
    EXPECT_EQ(folder_listing(dir / "open"), std::vector<std::string>{"a.txt"});
  }
  {
    SCOPED_TRACE("the output's folder is not writable");
    const RunResult r = run_recodia_with({"-w", "-tokoi8", "open/a.txt", "locked/b.txt"}, dir.path(), setting);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kBanner);
    EXPECT_EQ(hex(read_file(dir / "open" / "a.txt")), hex(original()));
    EXPECT_TRUE(folder_listing(dir / "locked").empty());
  }
  {
    SCOPED_TRACE("the output is a folder");
    const RunResult r = run_recodia({"-w", "-tokoi8", "open/a.txt", "locked"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kBanner);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "locked"));
  }
}

// ---- e. Errors that show on writing, flushing or closing ------------------

TEST(WriteErrors, FullDevice) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (const Bytes& input : {Bytes("x"), Bytes(400000, 'y'), Bytes()}) {
    SCOPED_TRACE(input.size());
    TempDir dir;
    write_file(dir / "in", input);
    const RunResult r = run_recodia({"in", "/dev/full"}, dir.path());
    if (input.empty()) {
      // Nothing to write, nothing that fails.
      EXPECT_EQ(r.exit_code, 0);
      EXPECT_EQ(r.out, kBanner + kWait + kDone);
      continue;
    }
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kBanner + kWait) << "no done message";
    EXPECT_TRUE(same_bytes(input, read_file(dir / "in"))) << "input changed";
  }
}

TEST(WriteErrors, TwoFilesThroughTheSeam) {
  struct Case {
    const char* name;
    Fault fault;
    bool wait_printed;
  };
  const Case cases[] = {
      {"create", {Operation::create_for_writing}, false},
      {"first write", {Operation::write, 1}, true},
      {"second write", {Operation::write, 2}, true},
      {"close", {Operation::close}, true},
      {"first read", {Operation::read, 1}, true},
      {"third read", {Operation::read, 3}, true},
  };
  // The converting path, and the copying ones.
  struct Run {
    std::vector<std::string_view> switches;
    Bytes input;
    Bytes expected;
  };
  const Bytes lines = Bytes(300000, 'a') + "\r\n" + original() + "\n\r";
  const Run runs[] = {
      {{"-w", "-tokoi8"}, Bytes(300000, 'a') + original(), Bytes(300000, 'a') + converted()},
      {{"-noenc", "-noaltlf"}, lines, lines},
      {{"-noenc", "-lf"}, lines, Bytes(300000, 'a') + "\n" + original() + "\n"},
  };
  for (const Run& run : runs) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << " " << run.switches[0] << " " << run.switches[1]);
      TempDir dir;
      CurrentDirectory cwd(dir.path());
      write_file(dir / "in", run.input);
      FaultyFileSystem files;
      files.add(c.fault);
      FakeConsole console;
      std::vector<std::string_view> args = {"-ni", "in", "out"};
      args.insert(args.begin(), run.switches.begin(), run.switches.end());
      EXPECT_EQ(run_program(args, files, console), 1);
      EXPECT_EQ(console.out, c.wait_printed ? kWait : "");
      EXPECT_TRUE(same_bytes(run.input, read_file(dir / "in"))) << "input changed";
      if (c.wait_printed) {
        // What was written up to the error, and no more.
        const Bytes out = read_file(dir / "out");
        EXPECT_LE(out.size(), run.expected.size());
        EXPECT_TRUE(same_bytes(run.expected.substr(0, out.size()), out)) << "a prefix of the converted text";
      }
    }
  }
}

// ---- b. Each step of the in-place replacement fails in turn ---------------

struct StepCase {
  const char* name;
  std::vector<Fault> faults;
  enum { nothing_started, partial, complete } temporary;
};

TEST(InPlaceFaults, EveryStepFailsInTurn) {
  using R = platform::RenameResult;
  const Fault other_device{Operation::rename_over, 1, 1, R::other_device};
  const StepCase cases[] = {
      {"create", {{Operation::create_for_writing}}, StepCase::nothing_started},
      {"first read", {{Operation::read, 1}}, StepCase::partial},
      {"second read", {{Operation::read, 2}}, StepCase::partial},
      {"first write", {{Operation::write, 1}}, StepCase::partial},
      {"second write", {{Operation::write, 2}}, StepCase::partial},
      {"permissions", {{Operation::set_permissions, 0}}, StepCase::complete},
      {"flush", {{Operation::flush}}, StepCase::complete},
      {"close", {{Operation::close}}, StepCase::complete},
      {"rename", {{Operation::rename_over, 1, 1, R::failed}}, StepCase::complete},
      {"copy: reading the temporary file", {other_device, {Operation::open_for_reading, 2}}, StepCase::complete},
      {"copy: reading", {other_device, {Operation::read, 1, 2}}, StepCase::complete},
      {"copy: create", {other_device, {Operation::create_for_writing, 2}}, StepCase::complete},
      {"copy: write", {other_device, {Operation::write, 1, 2}}, StepCase::complete},
      {"copy: permissions", {other_device, {Operation::set_permissions, 0, 2}}, StepCase::complete},
      {"copy: flush", {other_device, {Operation::flush, 1, 2}}, StepCase::complete},
      {"copy: close", {other_device, {Operation::close, 1, 2}}, StepCase::complete},
      {"copy: rename", {other_device, {Operation::rename_over, 2, 1, R::failed}}, StepCase::complete},
      {"copy: rename, other device again", {other_device, {Operation::rename_over, 2, 1, R::other_device}},
       StepCase::complete},
  };
  // Several blocks, so that a write can fail in the middle.
  Bytes input, expected;
  while (input.size() < 400000) input += original(), expected += converted();

  for (const StepCase& c : cases) {
    for (bool preserve_time : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (preserve_time ? ", -pdt" : ""));
      TempDir dir;
      std::filesystem::create_directories(dir / "work");
      std::filesystem::create_directories(dir / "data");
      const std::filesystem::path file = dir / "data" / "a.txt";
      write_file(file, input);
      ::chmod(file.c_str(), 0640);
      const FileTime time{local_seconds(2005, 5, 5, 5, 5, 5), 123};
      set_modification_time(file, time);

      CurrentDirectory cwd(dir / "work");
      FaultyFileSystem files;
      for (const Fault& f : c.faults) files.add(f);
      FakeConsole console;
      std::vector<std::string_view> args = {"-ni", "-w", "-tokoi8", "../data/a.txt", "../data/a.txt"};
      if (preserve_time) args.push_back("-pdt");
      EXPECT_EQ(run_program(args, files, console), 1);

      // The original, untouched under its own name.
      EXPECT_EQ(folder_listing(dir / "data"), std::vector<std::string>{"a.txt"});
      EXPECT_TRUE(same_bytes(input, read_file(file)));
      EXPECT_EQ(permission_bits(file), 0640u);
      EXPECT_EQ(modification_time(file), time);
      // No done message.
      EXPECT_EQ(console.out, c.temporary == StepCase::nothing_started ? "" : kWait);
      // The converted text, or what there is of it, under its temporary name.
      if (c.temporary == StepCase::nothing_started) {
        EXPECT_TRUE(folder_listing(dir / "work").empty());
        continue;
      }
      ASSERT_EQ(folder_listing(dir / "work"), std::vector<std::string>{"TMP1.$$$"});
      const Bytes kept = read_file(dir / "work" / "TMP1.$$$");
      if (c.temporary == StepCase::complete) {
        EXPECT_TRUE(same_bytes(expected, kept));
      } else {
        EXPECT_LT(kept.size(), expected.size());
        EXPECT_TRUE(same_bytes(expected.substr(0, kept.size()), kept)) << "a prefix of the converted text";
      }
    }
  }
}

TEST(InPlaceFaults, TemporaryFileIsNoMoreOpenThanTheOriginal) {
  // A private file's text must not become readable to others under its
  // temporary name, neither while it is written nor when it is left behind.
  for (unsigned mode : {0600u, 0400u, 0640u}) {
    for (const Fault& fault : {Fault{Operation::write}, Fault{Operation::rename_over}}) {
      SCOPED_TRACE(testing::Message() << std::oct << mode << (fault.operation == Operation::write ? " write" : " rename"));
      TempDir dir;
      CurrentDirectory cwd(dir.path());
      write_file(dir / "a.txt", original());
      ::chmod((dir / "a.txt").c_str(), mode);
      const mode_t previous = ::umask(022);
      FaultyFileSystem files;
      files.add(fault);
      FakeConsole console;
      const std::vector<std::string_view> args = {"-ni", "-w", "-tokoi8", "a.txt", "a.txt"};
      EXPECT_EQ(run_program(args, files, console), 1);
      ::umask(previous);
      ASSERT_TRUE(std::filesystem::exists(dir / "TMP1.$$$"));
      EXPECT_EQ(permission_bits(dir / "TMP1.$$$") & ~mode & 0777u, 0u)
          << "temporary file " << std::oct << permission_bits(dir / "TMP1.$$$");
      EXPECT_EQ(read_file(dir / "a.txt"), original());
    }
  }
}

TEST(InPlaceFaults, RenameRefusedForReal) {
  // The file's folder does not let the user replace the file: the run fails,
  // the original stays, the converted text waits under its temporary name.
  if (!permissions_bind()) GTEST_SKIP() << "root, and cannot run as another user";
  TempDir dir;
  ::chmod(dir.path().c_str(), 0777);
  std::filesystem::create_directories(dir / "work");
  std::filesystem::create_directories(dir / "data");
  write_file(dir / "data" / "a.txt", original());
  ::chmod((dir / "data" / "a.txt").c_str(), 0666);
  ::chmod((dir / "work").c_str(), 0777);
  ::chmod((dir / "data").c_str(), 0555);
  ProcessSetting setting;
  setting.unprivileged = true;
  const RunResult r = run_recodia_with({"-w", "-tokoi8", "../data/a.txt", "../data/a.txt"}, dir / "work", setting);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, kBanner + kWait);
  EXPECT_EQ(hex(read_file(dir / "data" / "a.txt")), hex(original()));
  EXPECT_EQ(folder_listing(dir / "data"), std::vector<std::string>{"a.txt"});
  ASSERT_EQ(folder_listing(dir / "work"), std::vector<std::string>{"TMP1.$$$"});
  EXPECT_EQ(hex(read_file(dir / "work" / "TMP1.$$$")), hex(converted()));
}

TEST(InPlaceFaults, CopyAcrossDevicesThroughTheSeam) {
  // rename_over reports another device: the result is copied beside the file
  // under the next temporary name and renamed from there.
  TempDir dir;
  std::filesystem::create_directories(dir / "work");
  std::filesystem::create_directories(dir / "data");
  const std::filesystem::path file = dir / "data" / "a.txt";
  write_file(file, original());
  ::chmod(file.c_str(), 0604);
  const FileTime time{local_seconds(2005, 5, 5, 5, 5, 5), 0};
  set_modification_time(file, time);
  CurrentDirectory cwd(dir / "work");
  FaultyFileSystem files;
  files.add({Operation::rename_over, 1, 1, platform::RenameResult::other_device});
  FakeConsole console;
  const std::vector<std::string_view> args = {"-w", "-tokoi8", "-pdt", "../data/a.txt", "../data/a.txt"};
  EXPECT_EQ(run_program(args, files, console), 0);
  EXPECT_EQ(console.out, kBanner + kWait + kDone);
  EXPECT_EQ(hex(read_file(file)), hex(converted()));
  EXPECT_EQ(permission_bits(file), 0604u);
  EXPECT_EQ(modification_time(file).seconds, time.seconds - 1);
  EXPECT_TRUE(folder_listing(dir / "work").empty());
  EXPECT_EQ(folder_listing(dir / "data"), std::vector<std::string>{"a.txt"});
  ASSERT_EQ(files.create_requests().size(), 2u);
  EXPECT_EQ(files.create_requests()[0], "TMP1.$$$");
  const std::string beside = files.create_requests()[1];
  EXPECT_EQ(std::filesystem::path(beside).filename(), "TMP2.$$$");
  EXPECT_EQ(std::filesystem::canonical(std::filesystem::path(beside).parent_path()),
            std::filesystem::canonical(dir / "data"));
}

TEST(InPlaceFaults, TimeThatCannotBeSetIsIgnored) {
  TempDir dir;
  CurrentDirectory cwd(dir.path());
  write_file(dir / "a.txt", original());
  FaultyFileSystem files;
  files.add({Operation::set_last_write_time});
  FakeConsole console;
  const std::vector<std::string_view> args = {"-ni", "-w", "-tokoi8", "-pdt", "a.txt", "a.txt"};
  EXPECT_EQ(run_program(args, files, console), 0);
  EXPECT_EQ(files.calls(Operation::set_last_write_time), 1);
  EXPECT_EQ(console.out, kWait + kDone);
  EXPECT_EQ(hex(read_file(dir / "a.txt")), hex(converted()));
  EXPECT_EQ(folder_listing(dir.path()), std::vector<std::string>{"a.txt"});
}

// ---- d. Long names --------------------------------------------------------

TEST(LongNames, BeyondTwoHundredFiftyFiveBytes) {
  TempDir dir;
  // Each component as long as the file system allows, the whole far beyond
  // 255 bytes.
  std::filesystem::path deep = dir.path();
  std::string relative;
  for (char c : {'p', 'q', 'r'}) {
    const std::string component(250, c);
    deep /= component;
    relative += component + "/";
  }
  std::filesystem::create_directories(deep);
  const std::string name(255, 'n');
  const std::string long_relative = relative + name;
  ASSERT_GT(long_relative.size(), 1000u);
  write_file(dir / "in.txt", original());
  {
    SCOPED_TRACE("long output name");
    const RunResult r = run_recodia({"-ni", "-w", "-tokoi8", "in.txt", long_relative}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kWait + kDone);
    EXPECT_EQ(hex(read_file(deep / name)), hex(converted()));
    EXPECT_EQ(folder_listing(deep), std::vector<std::string>{name});
  }
  {
    SCOPED_TRACE("long input name, absolute output name");
    const std::string absolute_out = (deep / "copy").string();
    const RunResult r = run_recodia({"-ni", "-noenc", long_relative, absolute_out}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(deep / "copy"), read_file(deep / name));
    std::filesystem::remove(deep / "copy");
  }
  {
    SCOPED_TRACE("long name in place");
    write_file(deep / name, original());
    const RunResult r = run_recodia({"-ni", "-w", "-tokoi8", long_relative, long_relative}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(hex(read_file(deep / name)), hex(converted()));
    EXPECT_EQ(folder_listing(deep), std::vector<std::string>{name});
  }
  {
    SCOPED_TRACE("long name in place, the other spelled absolute");
    write_file(deep / name, original());
    const RunResult r = run_recodia({"-ni", "-w", "-tokoi8", long_relative, (deep / name).string()}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(hex(read_file(deep / name)), hex(converted()));
    EXPECT_EQ(folder_listing(deep), std::vector<std::string>{name});
  }
  {
    // One component longer than any file system takes: the run fails
    // cleanly, and no shortened name appears.
    SCOPED_TRACE("a component too long for the file system");
    const std::string too_long(300, 'z');
    const auto before = folder_listing(dir.path());
    const RunResult r = run_recodia({"-ni", "in.txt", too_long}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(folder_listing(dir.path()), before);
    EXPECT_EQ(hex(read_file(dir / "in.txt")), hex(original()));
  }
}

// ---- f. Every temporary name taken ----------------------------------------

TEST(TemporaryNames, AllTakenThroughTheSeam) {
  TempDir dir;
  CurrentDirectory cwd(dir.path());
  write_file(dir / "a.txt", original());
  FaultyFileSystem files;
  files.take_all_temporary_names();
  FakeConsole console;
  const std::vector<std::string_view> args = {"-ni", "-w", "-tokoi8", "a.txt", "a.txt"};
  EXPECT_EQ(run_program(args, files, console), 1);
  EXPECT_EQ(console.out, "");
  EXPECT_TRUE(files.create_requests().empty());
  EXPECT_EQ(hex(read_file(dir / "a.txt")), hex(original()));
  EXPECT_EQ(folder_listing(dir.path()), std::vector<std::string>{"a.txt"});
  // Every one of the 65535 names asked for exactly once, from TMP1 up;
  // never TMP0.
  std::vector<std::string> asked;
  for (const std::string& n : files.exists_requests())
    if (n.starts_with("TMP")) asked.push_back(n);
  ASSERT_EQ(asked.size(), 65535u);
  for (std::size_t i = 0; i < asked.size(); ++i) {
    ASSERT_EQ(asked[i], "TMP" + std::to_string(i + 1) + ".$$$");
  }
}

TEST(TemporaryNames, CounterWrapsToOne) {
  // The counter is 16 bits: after TMP65535 comes TMP1, never TMP0.
  platform::FileSystem& real = platform::posix_file_system();
  TempDir dir;
  CurrentDirectory cwd(dir.path());
  TemporaryNames names;
  FaultyFileSystem files(real);
  for (int i = 1; i <= 65535; ++i) {
    const auto name = names.make_temporary_name(files);
    ASSERT_TRUE(name.has_value());
    ASSERT_EQ(*name, "TMP" + std::to_string(i) + ".$$$");
  }
  EXPECT_EQ(names.make_temporary_name(files), "TMP1.$$$");
  EXPECT_EQ(names.make_temporary_name(files, "some/dir/"), "some/dir/TMP2.$$$");
}

TEST(TemporaryNames, AllTakenForReal) {
  // 65535 files: on a RAM file system where there is one, which is faster.
  TempDir dir;
  ShmDir shm;
  const std::filesystem::path work = shm.path().empty() ? dir / "work" : shm.path() / "work";
  std::filesystem::create_directories(work);
  std::filesystem::create_directories(dir / "data");
  for (int i = 1; i <= 65535; ++i) {
    const std::string name = (work / ("TMP" + std::to_string(i) + ".$$$")).string();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0) << name;
    ::close(fd);
  }
  write_file(dir / "data" / "a.txt", original());
  const std::string file = (dir / "data" / "a.txt").string();
  const RunResult r = run_recodia({"-ni", "-w", "-tokoi8", file, file}, work);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(hex(read_file(dir / "data" / "a.txt")), hex(original()));
  EXPECT_EQ(folder_listing(dir / "data"), std::vector<std::string>{"a.txt"});
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(work)) {
    ++count;
    EXPECT_EQ(entry.file_size(), 0u);
  }
  EXPECT_EQ(count, 65535u);
}

// ---- g. The output is standard output -------------------------------------

TEST(StandardOutput, DevStdoutGetsTheTextAndStandardErrorTheMessages) {
  TempDir dir;
  write_file(dir / "in", original());
  {
    const RunResult r = run_recodia({"-w", "-tokoi8", "in", "/dev/stdout"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(hex(r.out), hex(converted()));
    EXPECT_EQ(r.err, kBanner + kWait + kDone);
  }
  {
    // The help and the Russian messages too, as stored.
    const RunResult r = run_recodia({"-rus", "-?", "-w", "-tokoi8", "in", "/dev/stdout"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(hex(r.out), hex(converted()));
    std::string expected;
    for (int n = 1; n <= 19; ++n) expected += std::string(select_messages(Language::russian)[n - 1]) + "\n";
    EXPECT_EQ(hex(r.err), hex(expected));
  }
}

TEST(StandardOutput, TheFileStandardOutputIsRedirectedTo) {
  TempDir dir;
  write_file(dir / "in", original());
  ProcessSetting setting;
  setting.standard_output_file = dir / "out";
  {
    SCOPED_TRACE("output named as the redirection target");
    const RunResult r = run_recodia_with({"-w", "-tokoi8", "in", "out"}, dir.path(), setting);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(hex(read_file(dir / "out")), hex(converted()));
    EXPECT_EQ(r.err, kBanner + kWait + kDone);
  }
  {
    SCOPED_TRACE("the same file through a link");
    std::filesystem::create_symlink("out", dir / "link");
    const RunResult r = run_recodia_with({"-w", "-tokoi8", "in", "link"}, dir.path(), setting);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(hex(read_file(dir / "out")), hex(converted()));
    EXPECT_EQ(r.err, kBanner + kWait + kDone);
  }
  {
    SCOPED_TRACE("another output: the messages stay on standard output");
    const RunResult r = run_recodia_with({"-w", "-tokoi8", "in", "other"}, dir.path(), setting);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(hex(read_file(dir / "other")), hex(converted()));
    EXPECT_EQ(read_file(dir / "out"), kBanner + kWait + kDone);
    EXPECT_EQ(r.err, "");
  }
}

TEST(StandardOutput, AppendedToTheInputTakesNoMessages) {
  // "recodia in out >> in": messages on standard output would land in the
  // input before it is read, and so in the converted text.
  TempDir dir;
  write_file(dir / "in", original());
  ProcessSetting setting;
  setting.standard_output_file = dir / "in";
  setting.append_standard_output = true;
  const RunResult r = run_recodia_with({"-w", "-tokoi8", "in", "out"}, dir.path(), setting);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(hex(read_file(dir / "in")), hex(original()));
  EXPECT_EQ(hex(read_file(dir / "out")), hex(converted()));
  EXPECT_EQ(r.err, kBanner + kWait + kDone);
}

TEST(StandardOutput, ClosedStandardDescriptorsTakeNoFile) {
  // Started with standard input, output or error closed, the program must not
  // let a file it opens take one of their numbers: its messages would then
  // be written into that file.
  const std::vector<std::vector<int>> closed = {{1}, {0, 1}, {0, 1, 2}, {1, 2}, {0}, {2}, {0, 2}};
  for (const auto& fds : closed) {
    for (bool in_place : {false, true}) {
      SCOPED_TRACE(testing::Message() << "closed " << testing::PrintToString(fds) << (in_place ? ", in place" : ""));
      TempDir dir;
      write_file(dir / "a.txt", original());
      ProcessSetting setting;
      setting.closed_descriptors = fds;
      const std::string output = in_place ? "a.txt" : "b.txt";
      const RunResult r = run_recodia_with({"-w", "-tokoi8", "a.txt", output}, dir.path(), setting);
      EXPECT_EQ(r.exit_code, 0);
      EXPECT_EQ(hex(read_file(dir / output)), hex(converted()));
      EXPECT_EQ(folder_listing(dir.path()).size(), in_place ? 1u : 2u);
      const bool stdout_open = std::find(fds.begin(), fds.end(), 1) == fds.end();
      if (stdout_open) {
        EXPECT_EQ(r.out, kBanner + kWait + kDone);
      }
    }
  }
}

}  // namespace
}  // namespace recodia::test
