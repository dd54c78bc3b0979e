#include "app/logging.h"

#include "facelib/operationlog.h"
#include "platform/paths.h"

#include <glog/logging.h>
#include <string>

namespace galvorn {

namespace {

constexpr char kProgramName[] = "Opertation";

// The first folder of the operation logs that can be created and written; empty when
// none can.
std::string diagnosticsFolder()
{
    const LogFolders folders = defaultLogFolders();
    for (const std::string& dir : {folders.primary, folders.fallback}) {
        if (!dir.empty() && platform::makePath(dir) && platform::isWritableDir(dir))
            return dir;
    }
    return {};
}

} // namespace

void setUpLogging()
{
    if (google::IsGoogleLoggingInitialized())
        return;
    google::InitGoogleLogging(kProgramName);
    const std::string folder = diagnosticsFolder();
    FLAGS_log_dir = folder;
    // Without a folder of its own glog would fall back to the shared temporary folder.
    FLAGS_logtostderr = folder.empty();
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
