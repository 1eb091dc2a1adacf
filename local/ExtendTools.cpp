#include "local/ExtendTools.h"

#include "platform/RegistryFile.h"

#include <QProcess>

#include <cctype>

namespace {

bool placeholderAt(const std::string& text, size_t at)
{
    const std::string_view placeholder(kFilePlaceholder);
    if (text.size() - at < placeholder.size())
        return false;
    for (size_t i = 0; i < placeholder.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[at + i])) != placeholder[i])
            return false;
    }
    return true;
}

} // namespace

void SplitToolData(const std::string& data, std::string& program, std::string& parameters)
{
    const size_t semicolon = data.find(';');
    if (semicolon == std::string::npos) {
        program.clear();
        parameters = data;
        return;
    }
    program = data.substr(0, semicolon);
    parameters = data.substr(semicolon + 1);
}

std::vector<TExtendTool> ReadExtendTools()
{
    std::vector<TExtendTool> tools;
    Registry registry;
    if (!registry.openKey(kExtendToolKey, true))
        return tools;
    for (const std::string& name : registry.valueNames()) {
        if (tools.size() == kMaxExtendTools)
            break;
        TExtendTool tool;
        tool.Enabled = !name.empty() && name.front() == '1';
        tool.Caption = name.empty() ? std::string() : name.substr(1);
        std::string data;
        try {
            data = registry.readString(name);
        } catch (const std::exception&) {
            // A value of another type holds no command; the tool stays, with nothing to run.
        }
        SplitToolData(data, tool.Program, tool.Parameters);
        tools.push_back(std::move(tool));
    }
    return tools;
}

bool WriteExtendTools(const std::vector<TExtendTool>& tools)
{
    Registry registry;
    if (!registry.openKey(kExtendToolKey, true))
        return false;
    for (const std::string& name : registry.valueNames())
        registry.deleteValue(name);
    for (const TExtendTool& tool : tools)
        registry.writeString((tool.Enabled ? "1" : "0") + tool.Caption, tool.Program + ";" + tool.Parameters);
    return true;
}

std::optional<TExtendTool> FindEnabledTool(const std::string& caption)
{
    Registry registry;
    const std::string name = "1" + caption;
    if (!registry.openKey(kExtendToolKey, true) || !registry.valueExists(name))
        return std::nullopt;
    TExtendTool tool;
    tool.Caption = caption;
    SplitToolData(registry.readString(name), tool.Program, tool.Parameters);
    return tool;
}

std::string ReplaceFilePlaceholder(const std::string& parameters, const std::string& file)
{
    const size_t length = std::string_view(kFilePlaceholder).size();
    std::string result;
    size_t i = 0;
    while (i < parameters.size()) {
        if (placeholderAt(parameters, i)) {
            result += file;
            i += length;
        } else {
            result += parameters[i++];
        }
    }
    return result;
}

QStringList ToolArguments(const std::string& parameters, const std::string& file)
{
    QStringList arguments = QProcess::splitCommand(QString::fromStdString(parameters));
    for (QString& argument : arguments)
        argument = QString::fromStdString(ReplaceFilePlaceholder(argument.toStdString(), file));
    return arguments;
}
