// The AAXL element families shared by the checker and the mapping: the
// element name gives the category and kind of a component, sub-component or
// connection. Private to the reader.
#pragma once

#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "aadl/aadl_ast.hpp"

namespace vorquel::aaxl {

using Name_list = std::vector<std::string_view>;

struct Component_element {
  std::string_view element;
  Category category;
  Component_kind kind;
};

inline constexpr Component_element component_elements[] = {
    {"dataType", Category::Data, Component_kind::Type},
    {"subprogramType", Category::Subprogram, Component_kind::Type},
    {"threadType", Category::Thread, Component_kind::Type},
    {"processType", Category::Process, Component_kind::Type},
    {"processorType", Category::Processor, Component_kind::Type},
    {"memoryType", Category::Memory, Component_kind::Type},
    {"busType", Category::Bus, Component_kind::Type},
    {"deviceType", Category::Device, Component_kind::Type},
    {"systemType", Category::System, Component_kind::Type},
    {"dataImpl", Category::Data, Component_kind::Implementation},
    {"subprogramImpl", Category::Subprogram, Component_kind::Implementation},
    {"threadImpl", Category::Thread, Component_kind::Implementation},
    {"processImpl", Category::Process, Component_kind::Implementation},
    {"processorImpl", Category::Processor, Component_kind::Implementation},
    {"memoryImpl", Category::Memory, Component_kind::Implementation},
    {"busImpl", Category::Bus, Component_kind::Implementation},
    {"deviceImpl", Category::Device, Component_kind::Implementation},
    {"systemImpl", Category::System, Component_kind::Implementation},
};

struct Subcomponent_element {
  std::string_view element;
  Category category;
};

inline constexpr Subcomponent_element subcomponent_elements[] = {
    {"dataSubcomponent", Category::Data},       {"threadSubcomponent", Category::Thread},
    {"processSubcomponent", Category::Process}, {"processorSubcomponent", Category::Processor},
    {"memorySubcomponent", Category::Memory},   {"busSubcomponent", Category::Bus},
    {"deviceSubcomponent", Category::Device},
};

struct Connection_element {
  std::string_view element;
  Connection_kind kind;
};

inline constexpr Connection_element connection_elements[] = {
    {"dataConnection", Connection_kind::Data_connection},
    {"eventConnection", Connection_kind::Event_connection},
    {"eventDataConnection", Connection_kind::Event_data_connection},
    {"portGroupConnection", Connection_kind::Port_group_connection},
    {"parameterConnection", Connection_kind::Parameter_connection},
    {"dataAccessConnection", Connection_kind::Data_access_connection},
    {"busAccessConnection", Connection_kind::Bus_access_connection},
};

template <class Table>
inline const auto* find_element(const Table& table, std::string_view name) {
  for (const auto& e : table)
    if (e.element == name) return &e;
  return static_cast<decltype(&table[0])>(nullptr);
}

template <class Table>
inline Name_list element_names(const Table& table, std::optional<Component_kind> kind = std::nullopt) {
  Name_list names;
  for (const auto& e : table) {
    if constexpr (std::is_same_v<std::decay_t<decltype(e)>, Component_element>)
      if (kind && e.kind != *kind) continue;
    names.push_back(e.element);
  }
  return names;
}

inline Name_list operator+(Name_list a, const Name_list& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace vorquel::aaxl
