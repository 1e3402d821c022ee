#include "FindOptions.h"

#include <CLI/CLI.hpp>

namespace sink {

void addFindOptions(CLI::App& app, FindResponderConfig& config, FindOptionTexts& texts) {
    app.add_option("--find-product", texts.product, "Product word of find answers (8 characters, or 0)")
        ->capture_default_str();
    app.add_option("--find-description", config.description, "Description text of find answers")
        ->capture_default_str();
    app.add_option("--find-info", config.infoText, "Information text; \"[myaddress]\" is filled in by the client");
    app.add_flag("--find-no-info", texts.noInfo, "Leave information requests unanswered");
    app.add_flag("--find-refuse-nopbreak", config.refuseNopBreak, "Answer NOPBREAK requests positively (refuse)");
    app.add_option("--find-output", texts.outputs, "Output PORT[:VERSION[:NAME]] (repeatable; version 1 by default)");
    app.add_option("--find-port", config.port, "UDP port of the Find side")->capture_default_str();
}

bool finishFindOptions(const FindOptionTexts& texts, FindResponderConfig& config, std::string& error) {
    if (!productTagFromText(texts.product, config.productTag)) {
        error = "--find-product must be 0 or exactly 8 characters: " + texts.product;
        return false;
    }
    config.answerInfo = !texts.noInfo;
    config.outputs.clear();
    for (const std::string& text : texts.outputs) {
        FindOutput output;
        if (!parseFindOutput(text, output)) {
            error = "--find-output wants PORT[:VERSION[:NAME]]: " + text;
            return false;
        }
        config.outputs.push_back(output);
    }
    return true;
}

}  // namespace sink
