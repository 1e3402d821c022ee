#include "FindSide.h"

#include <CLI/CLI.hpp>

namespace sink {

bool FindSide::takeOptions(std::vector<std::string>& args, std::string& error) {
    if (args.empty()) return true;
    CLI::App app{"Find side"};
    app.allow_extras();
    app.set_help_flag();  // --help belongs to the main parser
    FindOptionTexts texts;
    bool on = false;
    app.add_flag("--find", on, "Answer Find requests (discovery) on UDP port 19642");
    addFindOptions(app, config_, texts);

    std::vector<std::string> reversed(args.rbegin(), args.rend() - 1);  // CLI11 parses a reversed list
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    bool anyFindOption = on;
    for (const CLI::Option* option : app.get_options())
        if (option->count() > 0) anyFindOption = true;
    enabled_ = anyFindOption;
    if (!finishFindOptions(texts, config_, error)) return false;

    std::vector<std::string> rest{args.front()};
    for (const std::string& extra : app.remaining()) rest.push_back(extra);
    args = std::move(rest);
    return true;
}

bool FindSide::start(uint16_t syncPort, std::function<bool()> muted, std::string& error) {
    if (!enabled_) return true;
    if (config_.outputs.empty()) config_.outputs.push_back({syncPort, 1, ""});
    config_.muted = std::move(muted);
    responder_ = std::make_unique<FindResponder>(config_);
    if (!responder_->start()) {
        error = "cannot answer Find requests on UDP port " + std::to_string(config_.port);
        responder_.reset();
        return false;
    }
    return true;
}

void FindSide::stop() {
    if (responder_) responder_->stop();
    responder_.reset();
}

}  // namespace sink
