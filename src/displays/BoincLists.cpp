#include "displays/BoincLists.h"

namespace kv {

std::vector<tBOINCActiveTask> BOINCTasks;
std::vector<tBOINCProject> BOINCProjects;

}  // namespace kv
