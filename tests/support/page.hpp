#pragma once

// A page of plots read back: the data- attributes of each plot's elements,
// as a reader of the SVG finds them.
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace testing_support {

inline std::string contents(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline std::string unescaped(std::string text) {
  for (const auto& [entity, character] :
       {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}}) {
    for (std::size_t at; (at = text.find(entity)) != std::string::npos;) {
      text.replace(at, std::string(entity).size(), character);
    }
  }
  return text;
}

// An element with its attributes, unescaped.
struct Element {
  std::string tag;
  std::map<std::string, std::string> attributes;
  bool has(const std::string& name) const { return attributes.contains(name); }
  const std::string& operator[](const std::string& name) const { return attributes.at(name); }
};

// Per plot (its data-plot), the elements in it, in order.
inline std::map<std::string, std::vector<Element>> plots_of(const std::string& page) {
  std::map<std::string, std::vector<Element>> plots;
  const std::regex element(R"(<([a-z]+)((?:\s+[a-zA-Z0-9-]+="[^"]*")*)\s*/?>)");
  const std::regex attribute(R"(([a-zA-Z0-9-]+)="([^"]*)\")");
  for (std::size_t begin = page.find("<svg"); begin != std::string::npos; begin = page.find("<svg", begin + 1)) {
    const std::string svg = page.substr(begin, page.find("</svg>", begin) - begin);
    std::vector<Element> elements;
    for (auto e = std::sregex_iterator(svg.begin(), svg.end(), element); e != std::sregex_iterator(); ++e) {
      Element found{(*e)[1], {}};
      const std::string list = (*e)[2];
      for (auto a = std::sregex_iterator(list.begin(), list.end(), attribute); a != std::sregex_iterator(); ++a) {
        found.attributes[(*a)[1]] = unescaped((*a)[2]);
      }
      elements.push_back(std::move(found));
    }
    plots[elements.front().has("data-plot") ? elements.front()["data-plot"] : ""] = std::move(elements);
  }
  return plots;
}

// Of a plot's elements, those of `css_class`.
inline std::vector<Element> of_class(const std::vector<Element>& elements, const std::string& css_class) {
  std::vector<Element> found;
  for (const Element& e : elements) {
    if (e.has("class") && e["class"] == css_class) {
      found.push_back(e);
    }
  }
  return found;
}

}  // namespace testing_support
