// Command lines of the tools: one parser (CLI11) and the same behaviour in every
// tool. "--help" prints the usage and ends with 0; an unknown option, an option
// without its value, a value that is not of the option's type or outside its range
// ends with a message and 2. Floating-point options refuse "nan" and infinities.
#pragma once

#include <CLI/CLI.hpp>

#include <cmath>
#include <string>

namespace ToolCli {

/// A validator for floating-point values: a finite number within [min, max].
inline CLI::Validator FiniteRange(double min, double max)
{
    return CLI::Validator(
        [min, max](std::string& text) -> std::string {
            double value = 0.0;
            if (!CLI::detail::lexical_cast(text, value))
                return "\"" + text + "\" is not a number";
            if (!std::isfinite(value))
                return "\"" + text + "\" is not a finite number";
            if (value < min || value > max)
                return "\"" + text + "\" is outside [" + CLI::detail::to_string(min) + ", " +
                       CLI::detail::to_string(max) + "]";
            return std::string();
        },
        "FINITE in [" + CLI::detail::to_string(min) + " - " + CLI::detail::to_string(max) + "]");
}

/// Parses the command line. False when the program should end now, with *status set:
/// 0 after "--help", 2 after an error (the message and a hint go to standard error).
inline bool Parse(CLI::App& app, int argc, char** argv, int* status)
{
    try {
        app.parse(argc, argv);
        return true;
    } catch (const CLI::ParseError& error) {
        *status = app.exit(error) == 0 ? 0 : 2;
        return false;
    }
}

} // namespace ToolCli
