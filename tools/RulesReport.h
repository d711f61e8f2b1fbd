#pragma once
// tessary-info --rules: the audit's rule table as text, as JSON and as the manual page's list.
#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

// Each rule: "id (Severity, Group)", its title, then its help paragraph wrapped.
void WriteRulesText(std::ostream& out);
// {"rules": [{id, severity, group, title, help, anchor}, ...]}
[[nodiscard]] nlohmann::ordered_json RulesToJson();
// The manual page's list of rules in troff, one tagged paragraph each; docs/man/tessary-info.1.in
// carries it between the lines ".\" BEGIN RULES" and ".\" END RULES".
[[nodiscard]] std::string RulesManText();
