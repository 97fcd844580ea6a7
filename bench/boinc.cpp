// ReadBOINC of a busy client's state file: 10 projects and 20 running tasks, with the file,
// app, workunit and result records a real client writes between them. It runs on the main
// thread every tenth pass; the target is a median under 1 ms.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "BenchState.h"
#include "readvalue/Boinc.h"
#include "settings/Settings.h"

namespace {

using namespace kv;

std::string StateFile() {
  std::string s = "<client_state>\n<host_info>\n    <domain_name>bench</domain_name>\n</host_info>\n";
  for (int p = 0; p < 10; ++p) {
    const std::string n = std::to_string(p);
    s += "<project>\n    <master_url>https://project" + n + ".example.org/</master_url>\n"
         "    <project_name>Project number " + n + "</project_name>\n"
         "    <symstore></symstore>\n    <user_name>someone</user_name>\n"
         "    <user_total_credit>123456." + n + "</user_total_credit>\n"
         "    <user_expavg_credit>1234.5</user_expavg_credit>\n"
         "    <host_total_credit>4567.25</host_total_credit>\n"
         "    <host_expavg_credit>89.125</host_expavg_credit>\n"
         "    <rpc_seqno>42</rpc_seqno>\n    <hostid>123456</hostid>\n"
         "    <nrpc_failures>0</nrpc_failures>\n    <master_fetch_failures>0</master_fetch_failures>\n"
         "</project>\n";
  }
  for (int t = 0; t < 20; ++t) {
    const std::string n = std::to_string(t);
    s += "<file_info>\n    <name>input_" + n + "</name>\n    <nbytes>1048576.000000</nbytes>\n"
         "    <max_nbytes>0.000000</max_nbytes>\n    <md5_cksum>0123456789abcdef0123456789abcdef</md5_cksum>\n"
         "    <status>1</status>\n</file_info>\n"
         "<workunit>\n    <name>wu_" + n + "</name>\n    <app_name>app</app_name>\n"
         "    <version_num>601</version_num>\n    <rsc_fpops_est>1e13</rsc_fpops_est>\n"
         "    <file_ref>\n        <file_name>input_" + n + "</file_name>\n    </file_ref>\n</workunit>\n"
         "<result>\n    <name>wu_" + n + "_0</name>\n    <final_cpu_time>0.000000</final_cpu_time>\n"
         "    <exit_status>0</exit_status>\n    <state>2</state>\n    <wu_name>wu_" + n + "</wu_name>\n"
         "    <report_deadline>1700000000.000000</report_deadline>\n</result>\n";
  }
  s += "<active_task_set>\n";
  for (int t = 0; t < 20; ++t) {
    const std::string n = std::to_string(t);
    s += "<active_task>\n    <project_master_url>https://project" + std::to_string(t % 10) +
         ".example.org/</project_master_url>\n    <result_name>wu_" + n + "_0</result_name>\n"
         "    <active_task_state>1</active_task_state>\n    <app_version_num>601</app_version_num>\n"
         "    <slot>" + n + "</slot>\n    <checkpoint_cpu_time>3600.5</checkpoint_cpu_time>\n"
         "    <checkpoint_elapsed_time>3700.25</checkpoint_elapsed_time>\n"
         "    <fraction_done>0.4" + n + "</fraction_done>\n"
         "    <current_cpu_time>" + std::to_string(3000 + 5000 * t) + ".75</current_cpu_time>\n"
         "    <swap_size>123456789.000000</swap_size>\n    <working_set_size>98765432.000000</working_set_size>\n"
         "</active_task>\n";
  }
  return s + "</active_task_set>\n</client_state>\n";
}

void BM_ReadBOINC(benchmark::State& state) {
  char folder[] = "/tmp/kvbench-boinc-XXXXXX";
  if (!::mkdtemp(folder)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  kvbench::tBenchState s;
  s.settings.BOINCPath = std::string(folder) + "/";
  const std::string path = s.settings.BOINCPath + BOINCStateFile;
  const std::string content = StateFile();
  std::ofstream(path, std::ios::binary) << content;
  for (auto _ : state) {
    ReadBOINC(s.ctx);
    benchmark::DoNotOptimize(s.current.BOINCTasks.data());
  }
  state.counters["tasks"] = static_cast<double>(s.current.BOINCTasks.size());
  state.counters["projects"] = static_cast<double>(s.current.BOINCProjects.size());
  state.counters["bytes"] = static_cast<double>(content.size());
  std::remove(path.c_str());
  ::rmdir(folder);
}
BENCHMARK(BM_ReadBOINC)->Repetitions(10)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
