#pragma once
#include <QStringList>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The user's external tools: programs started on the selected file of the list. They live
// in one registry key, one string value per tool: the name is "1" (enabled) or "0"
// (disabled) followed by the caption, the data the program, ";" and the parameters.

inline constexpr const char* kExtendToolKey = "Software\\Brightmoor\\Morvane\\Tamsel\\ExtendTool\\List";
inline constexpr size_t kMaxExtendTools = 40;
/// The placeholder of the parameters that stands for the selected file.
inline constexpr const char* kFilePlaceholder = "%FILE";

struct TExtendTool {
    std::string Caption;
    std::string Program;
    std::string Parameters = kFilePlaceholder;
    bool Enabled = true;
};

/// Splits a tool's data at its first ";"; data without one is all parameters.
void SplitToolData(const std::string& data, std::string& program, std::string& parameters);

/// The tools in the order the registry lists them, at most kMaxExtendTools; none when the
/// key cannot be opened. A value name that begins with neither "1" nor "0" is a disabled
/// tool.
std::vector<TExtendTool> ReadExtendTools();

/// Replaces every value of the key by the tools, in order. False when the key cannot be
/// opened or created (nothing changed then); a failing write raises Exception.
bool WriteExtendTools(const std::vector<TExtendTool>& tools);

/// The saved program and parameters of the enabled tool named exactly `caption`; nothing
/// when there is no such enabled tool.
std::optional<TExtendTool> FindEnabledTool(const std::string& caption);

/// Every "%FILE" of `parameters`, in any case, replaced by `file`.
std::string ReplaceFilePlaceholder(const std::string& parameters, const std::string& file);

/// The arguments a tool's program receives: the parameters split as a command line is
/// (blanks separate, double quotes group), then the placeholder replaced within each
/// argument. A file name with blanks, quotes or any other character therefore stays inside
/// the one argument that named the placeholder; no shell ever reads it.
QStringList ToolArguments(const std::string& parameters, const std::string& file);
