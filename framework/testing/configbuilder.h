#pragma once
// Writes "config.xml" texts for the framework's tests, fuzz seeds, benchmark
// and tools: nested elements with attributes in order, and padding (an XML
// comment) to an exact byte size.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class ConfigBuilder
{
  public:
    using Attributes = std::vector<std::pair<std::string, std::string>>;

    /// Starts `name` with its attributes; elements opened must be closed.
    ConfigBuilder& Open(const std::string& name, const Attributes& attributes = {})
    {
        Indent();
        m_text += "<" + name + AttributeText(attributes) + ">\n";
        m_open.push_back(name);
        return *this;
    }
    /// Ends the innermost open element.
    ConfigBuilder& Close()
    {
        const std::string name = m_open.back();
        m_open.pop_back();
        Indent();
        m_text += "</" + name + ">\n";
        return *this;
    }
    /// An empty element.
    ConfigBuilder& Element(const std::string& name, const Attributes& attributes = {})
    {
        Indent();
        m_text += "<" + name + AttributeText(attributes) + "/>\n";
        return *this;
    }
    /// Text as it is (for malformed files).
    ConfigBuilder& Raw(const std::string& text)
    {
        m_text += text;
        return *this;
    }
    /// A comment that brings the text to exactly `size` bytes, placed where
    /// the builder stands (a comment needs 7 bytes at least).
    ConfigBuilder& PadTo(size_t size)
    {
        const size_t rest = size - m_text.size();
        m_text += "<!--" + std::string(rest - 7, 'x') + "-->";
        return *this;
    }
    /// The text so far, with every open element closed.
    std::string Text() const
    {
        ConfigBuilder copy = *this;
        while (!copy.m_open.empty())
            copy.Close();
        return copy.m_text;
    }
    size_t Size() const { return m_text.size(); }

  private:
    static std::string AttributeText(const Attributes& attributes)
    {
        std::string text;
        for (const auto& [name, value] : attributes)
            text += " " + name + "=\"" + value + "\"";
        return text;
    }
    void Indent() { m_text.append(2 * m_open.size(), ' '); }

    std::string m_text;
    std::vector<std::string> m_open;
};
