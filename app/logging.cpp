#include "app/logging.h"

#include <filesystem>
#include <glog/logging.h>

namespace galvorn {

namespace {
constexpr char kLogDir[] = "./log";
constexpr char kProgramName[] = "Opertation";
} // namespace

void setUpLogging()
{
    if (google::IsGoogleLoggingInitialized())
        return;
    google::InitGoogleLogging(kProgramName);
    std::error_code ec;
    std::filesystem::create_directories(kLogDir, ec);
    FLAGS_log_dir = kLogDir;
    FLAGS_alsologtostderr = true;
    FLAGS_colorlogtostderr = true;
    FLAGS_log_prefix = true;
    FLAGS_logbufsecs = 0;
    FLAGS_max_log_size = 10;
    FLAGS_stop_logging_if_full_disk = true;
}

void shutDownLogging()
{
    if (google::IsGoogleLoggingInitialized())
        google::ShutdownGoogleLogging();
}

} // namespace galvorn
