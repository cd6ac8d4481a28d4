#include "campaign_check.h"

#include "device_state.h"
#include "files.h"
#include "folder_snapshot.h"
#include "paths.h"
#include "status_values.h"

namespace devsim {

namespace {

enum class image_state { source, target, mixture };

image_state state_of(const std::string& content, const checked_partition& part)
{
    if (part.folder) {
        if (content == part.target) return image_state::target;
        return content == part.source ? image_state::source : image_state::mixture;
    }
    if (content.size() >= part.target.size() && content.compare(0, part.target.size(), part.target) == 0 &&
        content.find_first_not_of('\xff', part.target.size()) == std::string::npos)
        return image_state::target;
    return content == part.source ? image_state::source : image_state::mixture;
}

// The partition's flash, or the snapshot of its files.
std::optional<std::string> content_of(const device& dev, const checked_partition& part)
{
    int number = dev.number_of(part.name);
    if (number < 0) return std::nullopt;
    return part.folder ? folder_snapshot(dev.file_system(number)) : read_file(dev.flash(number));
}

// The report's "result: " line without its prefix.
std::string result_line(const std::string& report_text)
{
    size_t at = report_text.rfind("\nresult: ");
    if (at == std::string::npos) return "no result line";
    size_t begin = at + 9;
    return report_text.substr(begin, report_text.find('\n', begin) - begin);
}

// The package that the path file names is still on the device.
bool package_kept(const device& dev)
{
    std::optional<std::string> conf = read_file(dev.real(KVR_DELTA_CONF_PATH));
    return conf && read_file(dev.real(conf->substr(0, conf->find_first_of(" \t\n"))));
}

} // namespace

run_verdict judge_run(const device& dev, const std::vector<checked_partition>& checked, int run_status,
                      const std::string& report_text, bool cut_expected)
{
    bool all_target = true;
    bool all_source = true;
    bool any_mixture = false;
    std::string places;
    for (const checked_partition& part : checked) {
        std::optional<std::string> content = content_of(dev, part);
        image_state state = content ? state_of(*content, part) : image_state::mixture;
        all_target = all_target && state == image_state::target;
        all_source = all_source && state == image_state::source;
        any_mixture = any_mixture || state == image_state::mixture;
        places += " " + part.name + "=" +
                  (state == image_state::target ? "target" : state == image_state::source ? "source" : "MIXTURE");
    }
    device_state state = read_device_state(dev);
    std::string detail = "status " + describe_status(state.status) + ", power cuts " +
                         std::to_string(state.power_cuts) + ";" + places + "; " + result_line(report_text);
    // An update that has ended leaves its result flag for the device's
    // software and FOTA flag 2 for the boot loader.
    bool result_flag = static_cast<bool>(read_file(dev.real(KVR_RESULT_FLAG_PATH)));
    if (!result_flag) detail += "; no result flag";
    bool flag_ended = true;
    if (state.misc) {
        std::string flag = describe_flag_record(*state.misc, true);
        detail += "; misc " + flag;
        flag_ended = flag == "FOTA " + std::to_string(KVR_FOTA_FLAG_UPDATE_ENDED) + ", erased (0xFF) after it";
    }
    if (cut_expected && state.power_cuts == 0) return {run_outcome::bad, "the cut did not happen; " + detail};
    bool succeeded = status_is(state.status, KVR_STATUS_SUCCESS);
    bool failed = status_is(state.status, KVR_STATUS_FAILED);
    if (!any_mixture && all_target && run_status == 0 && succeeded && flag_ended && result_flag)
        return {run_outcome::target_reached, detail};
    if (!any_mixture && failed && result_line(report_text) == "update failed" && result_flag)
        return {run_outcome::failed_cleanly, detail};
    if (all_source && !state.stage && !succeeded && !failed && package_kept(dev))
        return {run_outcome::not_started, detail};
    return {run_outcome::bad, detail};
}

} // namespace devsim
