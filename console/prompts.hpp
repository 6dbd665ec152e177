// The value prompt of an entry: the question, the answer (typed or scripted) and its class.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "state/run_context.hpp"

/// What an answer means.
/// True for an answer that renames its entry: '[' first and ']' last.
bool bracketed(const std::string& s);

enum answer_class : int {
    answer_confirm = 2,  ///< an action item's answer: nothing stored
    answer_rename = 3,   ///< '[title]': the entry's title changes
    answer_store = 4,    ///< stored as the item's value in its node
};

/// Prints "[N.]=[value]. question" while the screen is drawn and no scripted answer exists.
int show_item_prompt(run_context& ctx, uint16_t number, const std::string& name,
                     const std::string& value);

/// The answer: the key's argument ('|' as ';', surrounding quotes dropped), or a line read
/// from standard input.
int read_item_answer(run_context& ctx, uint16_t number, const std::string& name,
                     const std::string& value, std::string& dest);

/// Classifies the answer; stores it in the node's slot for the store class, and sets quiet
/// for the debug item.
int classify_item_answer(run_context& ctx, std::unique_ptr<std::string>& slot, uint16_t number,
                         const std::string& answer);
