// COutputRun: a run's sources and reserved names.
#include "engine/output/OutputRun.h"

#include <sys/stat.h>

#include "engine/base/PathUtil.h"

namespace corvane {

void COutputRun::AddSource(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        sourceFiles_.insert({static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)});
    }
    sourcePaths_.insert(AbsoluteNormal(path));
}

void COutputRun::AddSources(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) AddSource(path);
}

bool COutputRun::IsSource(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 &&
        sourceFiles_.count({static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)}) != 0) {
        return true;
    }
    return sourcePaths_.count(AbsoluteNormal(path)) != 0;
}

void COutputRun::Reserve(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    reserved_.insert(AbsoluteNormal(path));
}

void COutputRun::Release(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    reserved_.erase(AbsoluteNormal(path));
}

bool COutputRun::IsReserved(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reserved_.count(AbsoluteNormal(path)) != 0;
}

}  // namespace corvane
