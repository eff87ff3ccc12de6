#include "tools/cli/tool_cli.h"

#include <CLI/CLI.hpp>

#include <cmath>

namespace ToolCli {

namespace {

Validator Wrap(CLI::Validator check)
{
    return Validator(std::make_shared<const CLI::Validator>(std::move(check)));
}

} // namespace

Validator::Validator(std::shared_ptr<const CLI::Validator> check) : check_(std::move(check))
{
}

template <typename T> Validator Range(T min, T max)
{
    return Wrap(CLI::Range(min, max));
}

template Validator Range(int, int);
template Validator Range(unsigned, unsigned);
template Validator Range(float, float);

Validator FiniteRange(double min, double max)
{
    return Wrap(CLI::Validator(
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
        "FINITE in [" + CLI::detail::to_string(min) + " - " + CLI::detail::to_string(max) + "]"));
}

Validator IsMember(std::vector<std::string> names)
{
    return Wrap(CLI::IsMember(std::move(names)));
}

const Validator ExistingFile = Wrap(CLI::ExistingFile);
const Validator ExistingDirectory = Wrap(CLI::ExistingDirectory);

Option* Option::required(bool value)
{
    option_->required(value);
    return this;
}

Option* Option::check(const Validator& validator)
{
    option_->check(validator.Check());
    return this;
}

Option* Option::capture_default_str()
{
    option_->capture_default_str();
    return this;
}

Option* Option::expected(int count)
{
    option_->expected(count);
    return this;
}

Option* Option::excludes(Option* other)
{
    option_->excludes(other->option_);
    return this;
}

App::App(std::string description, std::string name)
    : owned_(std::make_unique<CLI::App>(std::move(description), std::move(name))), app_(owned_.get())
{
}

App::App(CLI::App* subcommand) : app_(subcommand)
{
}

App::~App() = default;

Option* App::Keep(CLI::Option* option)
{
    options_.push_back(std::make_unique<Option>(option));
    return options_.back().get();
}

template <typename T> Option* App::add_option(std::string name, T& variable, std::string description)
{
    return Keep(app_->add_option(std::move(name), variable, std::move(description)));
}

template Option* App::add_option(std::string, int&, std::string);
template Option* App::add_option(std::string, unsigned&, std::string);
template Option* App::add_option(std::string, float&, std::string);
template Option* App::add_option(std::string, std::string&, std::string);
template Option* App::add_option(std::string, std::vector<std::string>&, std::string);
template Option* App::add_option(std::string, std::vector<float>&, std::string);

Option* App::add_flag(std::string name, bool& flag, std::string description)
{
    return Keep(app_->add_flag(std::move(name), flag, std::move(description)));
}

App* App::add_subcommand(std::string name, std::string description)
{
    subcommands_.push_back(
        std::unique_ptr<App>(new App(app_->add_subcommand(std::move(name), std::move(description)))));
    return subcommands_.back().get();
}

App* App::require_subcommand(int count)
{
    app_->require_subcommand(count);
    return this;
}

App* App::footer(std::string text)
{
    app_->footer(std::move(text));
    return this;
}

std::size_t App::count(const std::string& name) const
{
    return app_->count(name);
}

bool App::parsed() const
{
    return app_->parsed();
}

bool Parse(App& app, int argc, char** argv, int* status)
{
    CLI::App& parser = *app.app_;
    try {
        parser.parse(argc, argv);
        return true;
    } catch (const CLI::ParseError& error) {
        *status = parser.exit(error) == 0 ? 0 : 2;
        return false;
    }
}

} // namespace ToolCli
