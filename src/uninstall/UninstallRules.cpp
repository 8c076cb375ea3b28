#include "uninstall/UninstallRules.h"

#include <cstdlib>

#include "util/kpStrUtils.h"

namespace brik {

namespace {

constexpr std::string_view kOriginalSwitch = "/original=";

std::string_view Unquoted(std::string_view text) {
    text = Trim(text);
    if (!text.empty() && text.front() == '"') {
        text.remove_prefix(1);
        const size_t end = text.find('"');
        if (end != std::string_view::npos) text = text.substr(0, end);
    }
    return text;
}

}  // namespace

std::string_view DefaultUninstallText(int number) {
    switch (number) {
        case kTextCaption: return "Uninstall %s";
        case kTextQuestion: return "Do you want to remove %s and all of its components?";
        case kTextRemoving: return "Removing %s...";
        case kTextRemoved: return "%s was removed from your computer.";
        case kTextNotAll: return "%s was removed, apart from the items listed below.";
        case kTextRestart: return "Some files are in use. Restart Windows to complete the removal.";
        case kTextNothingLeft: return "Nothing of %s is left to remove.";
        case kTextLogMissing: return "Cannot read the install log \"%s\". Nothing was removed.";
        case kTextNotALog: return "\"%s\" is not an install log. Nothing was removed.";
        case kTextYes: return "&Yes";
        case kTextNo: return "&No";
        case kTextOk: return "OK";
        case kTextKept: return "(kept: it holds what the install did not make)";
        case kTextAtRestart: return "(removed when Windows restarts)";
        case kTextFailed: return "(could not be removed)";
        case kTextRefused: return "Not undone:";
        case kTextLogChanged: return "This install log was changed after the install. Nothing was removed.";
        case kTextOpenFolder:
            return "The install log \"%s\" lies in a folder that other users can change. Nothing was removed.";
        default: return {};
    }
}

std::string UninstallText(const TTextLookup& strings, int number, std::string_view argument) {
    std::optional<std::string> own = strings ? strings(number) : std::nullopt;
    std::string text = own && !own->empty() ? *own : std::string(DefaultUninstallText(number));
    // One pass over the text, so that a "%s" inside the argument stays as it is.
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "%s") == 0) {
            out += argument;
            ++i;
        } else if (text.compare(i, 2, "||") == 0) {
            out += "\r\n";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

TUninstallArguments ParseUninstallArguments(std::string_view commandLine) {
    TUninstallArguments args;
    std::string_view rest = Trim(commandLine);
    if (rest.size() > kOriginalSwitch.size() && SameText(rest.substr(0, kOriginalSwitch.size()), kOriginalSwitch)) {
        rest.remove_prefix(kOriginalSwitch.size());
        const size_t end = rest.find(' ');
        const std::string number(rest.substr(0, end));
        char* stop = nullptr;
        const unsigned long value = std::strtoul(number.c_str(), &stop, 10);
        if (stop && *stop == '\0') args.originalProcess = value;
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
    }
    args.logPath = std::string(Unquoted(rest));
    return args;
}

std::string CopyCommandLine(std::string_view program, unsigned long originalProcess, std::string_view logPath) {
    return "\"" + std::string(program) + "\" " + std::string(kOriginalSwitch) + IntToBase(static_cast<int64_t>(originalProcess), 1, 10) +
           " \"" + std::string(logPath) + "\"";
}

}  // namespace brik
