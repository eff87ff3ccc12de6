// Command lines of the tools: one parser (CLI11) and the same behaviour in every
// tool. "--help" prints the usage and ends with 0; an unknown option, an option
// without its value, a value that is not of the option's type or outside its range
// ends with a message and 2. Floating-point options refuse "nan" and infinities.
//
// The tools see CLI11 through these few classes, with its names, and never include
// it: the parser is compiled once, in tool_cli.cpp, instead of in every tool.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
class Validator;
} // namespace CLI

namespace ToolCli {

/// A check of an option's value text, with the name the usage shows for it.
class Validator
{
  public:
    explicit Validator(std::shared_ptr<const CLI::Validator> check);
    const CLI::Validator& Check() const { return *check_; }

  private:
    std::shared_ptr<const CLI::Validator> check_;
};

/// A value of type T within [min, max] (defined for int, unsigned and float).
template <typename T> Validator Range(T min, T max);
/// A floating-point value: a finite number within [min, max].
Validator FiniteRange(double min, double max);
/// One of the given words.
Validator IsMember(std::vector<std::string> names);
extern const Validator ExistingFile;
extern const Validator ExistingDirectory;

/// One option of a command; each call returns the option, so calls chain.
class Option
{
  public:
    explicit Option(CLI::Option* option) : option_(option) {}
    Option* required(bool value = true);
    Option* check(const Validator& validator);
    Option* capture_default_str();
    Option* expected(int count);
    Option* excludes(Option* other);

  private:
    CLI::Option* option_;
};

/// A command line, or one of its subcommands.
class App
{
  public:
    explicit App(std::string description = "", std::string name = "");
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    /// An option that parses into `variable` (defined for the value types the
    /// tools use: int, unsigned, float, text, and vectors of float and of text).
    template <typename T> Option* add_option(std::string name, T& variable, std::string description = "");
    Option* add_flag(std::string name, bool& flag, std::string description = "");
    App* add_subcommand(std::string name, std::string description = "");
    App* require_subcommand(int count);
    /// Text printed after the usage by "--help".
    App* footer(std::string text);
    /// How often the option was given.
    std::size_t count(const std::string& name) const;
    /// Whether this subcommand was given.
    bool parsed() const;
    explicit operator bool() const { return parsed(); }

  private:
    friend bool Parse(App& app, int argc, char** argv, int* status);

    explicit App(CLI::App* subcommand);
    Option* Keep(CLI::Option* option);

    std::unique_ptr<CLI::App> owned_;
    CLI::App* app_;
    std::vector<std::unique_ptr<Option>> options_;
    std::vector<std::unique_ptr<App>> subcommands_;
};

/// Parses the command line. False when the program should end now, with *status set:
/// 0 after "--help", 2 after an error (the message and a hint go to standard error).
bool Parse(App& app, int argc, char** argv, int* status);

} // namespace ToolCli
