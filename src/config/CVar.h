#pragma once

#include "core/Singleton.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace Vrenn {

// One console variable. Its text, integer and float forms always describe the same
// setting, so readers ask for the form they need and never parse.
struct CVar {
    std::string name;
    float floatValue = 0.0f;
    int32_t intValue = 0;
    std::string stringValue;
    uint32_t flags = 0; // kept, never interpreted

    // Text form as given; numbers as the C library's atof and atoi read it.
    static CVar fromText(std::string name, std::string text, uint32_t flags = 0);
    // Text form printed with "%i".
    static CVar fromInt(std::string name, int32_t value, uint32_t flags = 0);
};

// All run-time settings, by case-sensitive name. There are no built-in defaults: a
// variable that was never defined reads as 0, 0.0 or empty.
class CVarManager : public Singleton<CVarManager> {
public:
    CVarManager() = default;
    ~CVarManager();

    float GetFloat(const std::string& name) const;
    int32_t GetInt(const std::string& name) const;
    std::string GetString(const std::string& name) const;
    // The value when the variable's text is a whole decimal number in the 32-bit range
    // and nothing else (textToWholeInt); empty when it is absent or reads otherwise
    // ("1.5", "1e40", "12abc"), where GetInt would take its leading digits. Settings
    // whose value sizes work read through this and refuse the rest.
    std::optional<int32_t> GetWholeInt(const std::string& name) const;
    bool Has(const std::string& name) const { return m_vars.count(name) != 0; }

    // Replaces the value and flags of an existing variable, or adds it.
    void SetInt(const std::string& name, int32_t value, uint32_t flags = 0);
    // Adds a variable; an existing one of the same name is kept (first wins).
    bool Add(CVar var);

    // Reads name "value" pairs from the data file. False when it cannot be read
    // (logged by the opener); nothing is added then.
    bool LoadConfig(const std::string& fileName);
    // Reads pairs from text, as LoadConfig does from a file's contents.
    void LoadConfigText(const std::string& text);
    // Writes every variable as a line: name, space, the value in double quotes.
    // Returns false, with a log line, and leaves any previous file whole when writing
    // fails.
    bool SaveConfig(const std::string& fileName) const;

    const std::map<std::string, CVar>& vars() const { return m_vars; }

private:
    std::map<std::string, CVar> m_vars;
};

} // namespace Vrenn
