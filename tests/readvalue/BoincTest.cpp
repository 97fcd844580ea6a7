#include "readvalue/Boinc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

#include "SystemTree.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Procs.h"

namespace kv {
namespace {

using namespace std::chrono_literals;

std::string Task(const std::string& url, const std::string& version, const std::string& done,
                 const std::string& cpu, const std::string& result = "wu_1") {
  return "    <active_task>\n"
         "        <project_master_url>" + url + "</project_master_url>\n"
         "        <result_name>" + result + "</result_name>\n"
         "        <active_task_state>1</active_task_state>\n"
         "        <app_version_num>" + version + "</app_version_num>\n"
         "        <checkpoint_cpu_time>12.5</checkpoint_cpu_time>\n"
         "        <fraction_done>" + done + "</fraction_done>\n"
         "        <current_cpu_time>" + cpu + "</current_cpu_time>\n"
         "    </active_task>\n";
}

std::string Project(const std::string& name, const std::string& userTotal, const std::string& hostAvg) {
  return "<project>\n"
         "    <master_url>http://example.org/</master_url>\n"
         "    <project_name>" + name + "</project_name>\n"
         "    <user_total_credit>" + userTotal + "</user_total_credit>\n"
         "    <user_expavg_credit>12.25</user_expavg_credit>\n"
         "    <host_total_credit>3000</host_total_credit>\n"
         "    <host_expavg_credit>" + hostAvg + "</host_expavg_credit>\n"
         "</project>\n";
}

class BoincTest : public kvtest::SystemTreeTest {
 protected:
  void SetUp() override {
    SystemTreeTest::SetUp();
    Settings.BOINCPath = Root() + "data/";
    std::filesystem::create_directories(Settings.BOINCPath);
  }
  std::string StateFile() const { return Settings.BOINCPath + BOINCStateFile; }
  // A process in the fake /proc: its executable and working folder as link texts.
  void Process(int pid, const std::string& exe = "", const std::string& cwd = "") {
    if (!exe.empty()) kvtest::Link(Root(), "proc/" + std::to_string(pid) + "/exe", exe);
    if (!cwd.empty()) kvtest::Link(Root(), "proc/" + std::to_string(pid) + "/cwd", cwd);
    kvtest::MakeFolder(Root(), "proc/" + std::to_string(pid));
  }
};

TEST_F(BoincTest, TaskLinesGiveHostVersionProgressAndTime) {
  ReadBOINCState("<client_state>\n<active_task_set>\n" +
                 Task("http://einstein.phys.uwm.edu/some/path", "601", "0.250000", "90061.000000") +
                 Task("https://www.worldcommunitygrid.org/", "", "0.5", "3720", "") +
                 "</active_task_set>\n</client_state>\n", Current);
  ASSERT_EQ(BOINCTasks.size(), 2u);
  EXPECT_EQ(BOINCTasks[0].Project, "einstein.phys.uwm.edu  v601");
  EXPECT_EQ(BOINCTasks[0].ResultName, "wu_1");
  EXPECT_DOUBLE_EQ(BOINCTasks[0].FractionDone, 0.25);
  EXPECT_EQ(BOINCTasks[0].CPUTime, "1 d 1 h");
  // No version, no result name: those parts stay empty.
  EXPECT_EQ(BOINCTasks[1].Project, "www.worldcommunitygrid.org");
  EXPECT_EQ(BOINCTasks[1].ResultName, "");
  EXPECT_EQ(BOINCTasks[1].CPUTime, "1:02 h");
  EXPECT_TRUE(BOINCProjects.empty());

  // The version line may come before the URL: the host still leads.
  ReadBOINCState("<active_task>\n<app_version_num>7</app_version_num>\n"
                 "<project_master_url>http://a.b/</project_master_url>\n</active_task>\n", Current);
  ASSERT_EQ(BOINCTasks.size(), 1u);
  EXPECT_EQ(BOINCTasks[0].Project, "a.b  v7");
}

TEST_F(BoincTest, CpuTimeTexts) {
  EXPECT_EQ(FormatCPUTime(90061), "1 d 1 h");
  EXPECT_EQ(FormatCPUTime(93600), "1 d 2 h");  // exactly two hours into the day: no 1.99999
  EXPECT_EQ(FormatCPUTime(86400 * 12 + 3600 * 23 + 3599.9), "12 d 23 h");
  EXPECT_EQ(FormatCPUTime(3720), "1:02 h");
  EXPECT_EQ(FormatCPUTime(0), "0:00 h");
  EXPECT_EQ(FormatCPUTime(59.9999), "0:01 h");  // rounded to the millisecond first
  EXPECT_EQ(FormatCPUTime(86399.9999), "23:59 h");
  EXPECT_EQ(FormatCPUTime(-5), "");
  EXPECT_EQ(FormatCPUTime(1e300), "");
}

TEST_F(BoincTest, ProjectsWithoutTasksAndTheLineAfterATask) {
  ReadBOINCState(Project("Einstein@Home", "123456.5", "7.5") + "<project_files>\n</project_files>\n" +
                 Project("Rosetta@home", "1,5", "x"), Current);
  ASSERT_EQ(BOINCProjects.size(), 2u);
  EXPECT_TRUE(BOINCTasks.empty());
  EXPECT_EQ(BOINCProjects[0].ProjectName, "Einstein@Home");
  EXPECT_DOUBLE_EQ(BOINCProjects[0].UserTotalCredit, 123456.5);
  EXPECT_DOUBLE_EQ(BOINCProjects[0].UserExpAvgCredit, 12.25);
  EXPECT_DOUBLE_EQ(BOINCProjects[0].HostTotalCredit, 3000);
  EXPECT_DOUBLE_EQ(BOINCProjects[0].HostExpAvgCredit, 7.5);
  // The state file writes "." decimals; other figures are no numbers and stay 0.
  EXPECT_EQ(BOINCProjects[1].ProjectName, "Rosetta@home");
  EXPECT_DOUBLE_EQ(BOINCProjects[1].UserTotalCredit, 0);
  EXPECT_DOUBLE_EQ(BOINCProjects[1].HostExpAvgCredit, 0);

  // A project opening on the line that closes a task is read too.
  ReadBOINCState("<active_task>\n<fraction_done>0.1</fraction_done>\n</active_task><project>\n"
                 "<project_name>P</project_name>\n</project>\n", Current);
  ASSERT_EQ(BOINCTasks.size(), 1u);
  ASSERT_EQ(BOINCProjects.size(), 1u);
  EXPECT_EQ(BOINCProjects[0].ProjectName, "P");
}

TEST_F(BoincTest, NumbersThatDoNotConvertAreSkipped) {
  ReadBOINCState("<active_task>\n"
                 "<fraction_done>nan</fraction_done>\n"
                 "<fraction_done>1e400</fraction_done>\n"
                 "<current_cpu_time>nan</current_cpu_time>\n"
                 "<current_cpu_time>inf</current_cpu_time>\n"
                 "<current_cpu_time>-1e400</current_cpu_time>\n"
                 "<current_cpu_time>12 s</current_cpu_time>\n"
                 // A bad fraction on a line holding a good CPU time: the next rule applies.
                 "<fraction_done>?</fraction_done><current_cpu_time>60</current_cpu_time>\n"
                 "</active_task>\n"
                 "<active_task>\n<fraction_done>7</fraction_done>\n</active_task>\n"
                 "<project>\n<user_total_credit>nan</user_total_credit>\n"
                 "<host_total_credit>1e400</host_total_credit>\n</project>\n", Current);
  ASSERT_EQ(BOINCTasks.size(), 2u);
  EXPECT_DOUBLE_EQ(BOINCTasks[0].FractionDone, 0);
  EXPECT_EQ(BOINCTasks[0].CPUTime, "0:01 h");
  EXPECT_DOUBLE_EQ(BOINCTasks[1].FractionDone, 1);  // never more than all of it
  ASSERT_EQ(BOINCProjects.size(), 1u);
  EXPECT_DOUBLE_EQ(BOINCProjects[0].UserTotalCredit, 0);
  EXPECT_DOUBLE_EQ(BOINCProjects[0].HostTotalCredit, 0);
}

TEST_F(BoincTest, UnclosedElementsAndGarbageKeepWhatWasRead) {
  // A file cut inside a task keeps the task and what it had.
  ReadBOINCState(Project("A", "1", "2") + "<active_task>\n<fraction_done>0.75</fraction_done>\n<result_na", Current);
  ASSERT_EQ(BOINCTasks.size(), 1u);
  EXPECT_DOUBLE_EQ(BOINCTasks[0].FractionDone, 0.75);
  EXPECT_EQ(BOINCProjects.size(), 1u);

  // Binary garbage, control characters and invalid UTF-8 in the texts.
  std::string garbage;
  for (int i = 0; i < 200000; ++i) garbage += static_cast<char>((i * 7919 + i / 3) % 256);
  ReadBOINCState(garbage + "\n<project>\n<project_name>Ab\x01\xff" + std::string(5000, 'x') +
                 "</project_name>\n" + garbage, Current);
  ASSERT_FALSE(BOINCProjects.empty());
  const std::string& name = BOINCProjects.back().ProjectName;
  EXPECT_EQ(name.substr(0, 2), "Ab");
  EXPECT_EQ(name.find('\x01'), std::string::npos);
  EXPECT_LE(name.size(), 1024u);

  // Endless task openings: the lists stop growing at their bounds.
  std::string many;
  for (int i = 0; i < 3000; ++i) many += "<active_task>\n</active_task>\n<project>\n</project>\n";
  ReadBOINCState(many, Current);
  EXPECT_EQ(BOINCTasks.size(), MaxBOINCTasks);
  EXPECT_EQ(BOINCProjects.size(), MaxBOINCProjects);
}

TEST_F(BoincTest, EachReadStartsEmptyAndSaysWhereItFoundTheFile) {
  ReadBOINC(Ctx);  // no file yet: nothing, and nothing logged
  EXPECT_TRUE(BOINCTasks.empty());
  EXPECT_EQ(Log().find("Found BOINC"), std::string::npos);

  kvtest::WriteFile(StateFile(), Task("http://a.org/", "1", "0.1", "10") + Task("http://b.org/", "2", "0.2", "20") +
                                     Project("A", "1", "1"));
  ReadBOINC(Ctx);
  EXPECT_EQ(BOINCTasks.size(), 2u);
  EXPECT_NE(Log().find("Found BOINC in " + Settings.BOINCPath), std::string::npos);

  // The first task finished: it disappears, nothing is carried over.
  kvtest::WriteFile(StateFile(), Task("http://b.org/", "2", "0.3", "30"));
  ReadBOINC(Ctx);
  ASSERT_EQ(BOINCTasks.size(), 1u);
  EXPECT_EQ(BOINCTasks[0].Project, "b.org  v2");
  EXPECT_TRUE(BOINCProjects.empty());

  std::remove(StateFile().c_str());
  ReadBOINC(Ctx);
  EXPECT_TRUE(BOINCTasks.empty());
}

TEST_F(BoincTest, PipesLinksAndHugeFilesNeverStallTheRead) {
  kvtest::WriteFile(StateFile(), Task("http://a.org/", "1", "0.1", "10"));
  ReadBOINC(Ctx);
  ASSERT_EQ(BOINCTasks.size(), 1u);

  // A FIFO where the file belongs: refused at once, not waited on.
  std::remove(StateFile().c_str());
  ASSERT_EQ(::mkfifo(StateFile().c_str(), 0600), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(ReadBOINC(Ctx), std::runtime_error);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_TRUE(BOINCTasks.empty());

  // A planted link is not followed.
  std::remove(StateFile().c_str());
  kvtest::WriteFile(Root() + "elsewhere.xml", Task("http://a.org/", "1", "0.1", "10"));
  std::filesystem::create_symlink(Root() + "elsewhere.xml", StateFile());
  EXPECT_THROW(ReadBOINC(Ctx), std::runtime_error);
  EXPECT_TRUE(BOINCTasks.empty());

  // 50 MB: the head is read and kept, the rest is not, and the pass hears of the cut.
  std::remove(StateFile().c_str());
  {
    std::string head = Project("Head", "5", "5") + Task("http://a.org/", "1", "0.5", "10");
    std::string filler = "<file_info><name>" + std::string(1000, 'f') + "</name></file_info>\n";
    std::string content = head;
    content.reserve(50u << 20);
    while (content.size() < (50u << 20)) content += filler;
    content += Project("Tail", "1", "1");
    kvtest::WriteFile(StateFile(), content);
  }
  start = std::chrono::steady_clock::now();
  try {
    ReadBOINC(Ctx);
    ADD_FAILURE() << "a cut file must be reported";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("larger than"), std::string::npos);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  ASSERT_EQ(BOINCProjects.size(), 1u);
  EXPECT_EQ(BOINCProjects[0].ProjectName, "Head");
  EXPECT_EQ(BOINCTasks.size(), 1u);
}

TEST_F(BoincTest, AFileReplacedWhileReadGivesOneVersionOrTheOther) {
  const std::string a = Task("http://a.org/", "1", "0.1", "10") + std::string(200000, '\n');
  const std::string b = Project("B1", "1", "1") + Project("B2", "1", "1") + std::string(100000, '\n');
  kvtest::WriteFile(StateFile(), a);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) {
      const std::string temp = StateFile() + ".new";
      kvtest::WriteFile(temp, i % 2 ? a : b);
      std::rename(temp.c_str(), StateFile().c_str());
    }
  });
  int reads = 0;
  for (; reads < 200; ++reads) {
    ReadBOINC(Ctx);
    const bool isA = BOINCTasks.size() == 1 && BOINCProjects.empty();
    const bool isB = BOINCTasks.empty() && BOINCProjects.size() == 2;
    if (!isA && !isB) break;
  }
  stop = true;
  writer.join();
  EXPECT_EQ(reads, 200) << BOINCTasks.size() << " tasks, " << BOINCProjects.size() << " projects";
}

TEST_F(BoincTest, FolderOfTheRunningClientOrTheDebianFolders) {
  Process(10);  // a process whose links the kernel refuses
  Process(20, "/usr/bin/boincmgr", "/home/u");
  Process(25, "/opt/boinc/bin/boinc-helper", "/srv/x");  // a folder named boinc is not the program
  Process(30, "/usr/bin/boinc (deleted)", "/var/lib/boinc-client");  // upgraded while running
  Process(40, "/usr/bin/boinc", "/srv/second");
  std::string folder;
  FindBOINCFolder(folder, Pass.Sources.SystemRoot);
  EXPECT_EQ(folder, Root() + "var/lib/boinc-client/");

  folder = "/configured/";
  FindBOINCFolder(folder, Pass.Sources.SystemRoot);
  EXPECT_EQ(folder, "/configured/");

  // No client: the Debian folder that holds the state file.
  kvtest::Remove(Root(), "proc");
  kvtest::MakeFolder(Root(), "var/lib/boinc-client");
  kvtest::Put(Root(), "var/lib/boinc/client_state.xml", "<client_state/>\n");
  folder.clear();
  FindBOINCFolder(folder, Pass.Sources.SystemRoot);
  EXPECT_EQ(folder, Root() + "var/lib/boinc/");
  kvtest::Put(Root(), "var/lib/boinc-client/client_state.xml", "<client_state/>\n");
  folder.clear();
  FindBOINCFolder(folder, Pass.Sources.SystemRoot);
  EXPECT_EQ(folder, Root() + "var/lib/boinc-client/");

  kvtest::Remove(Root(), "var");
  folder.clear();
  FindBOINCFolder(folder, Pass.Sources.SystemRoot);
  EXPECT_EQ(folder, "");
}

TEST_F(BoincTest, ProgramLookupReadsOnlyTheLinkTexts) {
  // The executable is a FIFO: opening it (following the link) would block the lookup.
  kvtest::MakeFolder(Root(), "opt/Aqua");
  ASSERT_EQ(::mkfifo((Root() + "opt/Aqua/AquaSuite").c_str(), 0600), 0);
  Process(7, Root() + "opt/Aqua/AquaSuite");
  Process(8, "/opt/Loop/aquasuite");
  kvtest::MakeFolder(Root(), "opt/Loop");
  kvtest::Link(Root(), "opt/Loop/aquasuite", Root() + "opt/Loop/aquasuite");  // a link to itself
  EXPECT_EQ(FolderOfRunningProgram(Pass.Sources.SystemRoot, "aquasuite"), Root() + Root().substr(1) + "opt/Aqua/");
  EXPECT_EQ(FolderOfRunningProgram(Pass.Sources.SystemRoot, "nothing"), "");
  EXPECT_TRUE(IsProgram("/A/B/BOINC", "boinc"));
  EXPECT_FALSE(IsProgram("boinc", "boinc"));

  // The real /proc: this test program finds itself; the processes it may not read are skipped.
  Pass.Sources.SystemRoot = "/";
  char self[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
  const std::string exe = self;
  EXPECT_EQ(FolderOfRunningProgram(Pass.Sources.SystemRoot, exe.substr(exe.rfind('/') + 1)), exe.substr(0, exe.rfind('/') + 1));
}

TEST_F(BoincTest, ThePassFindsTheFolderAndReportsARefusedFile) {
  SilenceSources({tPassStep::BOINC});
  Settings.ReadSETI = true;
  Settings.BOINCPath.clear();
  Process(40, "/usr/bin/boinc", "/var/lib/boinc-client");
  kvtest::Put(Root(), "var/lib/boinc-client/client_state.xml", Task("http://a.org/", "1", "0.5", "10"));
  Pass.ReadAllValues(true);
  EXPECT_EQ(Settings.BOINCPath, Root() + "var/lib/boinc-client/");
  EXPECT_EQ(BOINCTasks.size(), 1u);

  kvtest::Remove(Root(), "var/lib/boinc-client/client_state.xml");
  ASSERT_EQ(::mkfifo((Root() + "var/lib/boinc-client/client_state.xml").c_str(), 0600), 0);
  Readings.Time -= 1.0;  // the previous pass a day ago
  Pass.ReadAllValues(true);
  EXPECT_TRUE(BOINCTasks.empty());
  EXPECT_NE(Log().find("rv23 "), std::string::npos);
}

}  // namespace
}  // namespace kv
