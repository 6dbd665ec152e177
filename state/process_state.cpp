#include "state/run_context.hpp"

run_context* current_context = nullptr;
process_mutex mailbox_lock;
process_mutex start_gate;
std::atomic<uint8_t> oneshot{0};
std::string answer_buf;
bool answer_found = false;
std::atomic<bool> interactive_console{false};
bool keyboard_reading = false;
std::atomic<bool> long_action_running{false};
std::atomic<console_interrupt> interrupt_request{console_interrupt::none};

namespace {

pthread_mutex_t ready_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t ready_signal = PTHREAD_COND_INITIALIZER;
bool ready = false;
bool ended = false;

/// Raises one of the start-order flags and wakes whoever waits for it.
void raise_flag(bool& flag) {
    pthread_mutex_lock(&ready_lock);
    flag = true;
    pthread_mutex_unlock(&ready_lock);
    pthread_cond_broadcast(&ready_signal);
}

void wait_for_flag(const bool& flag) {
    pthread_mutex_lock(&ready_lock);
    while (!flag) pthread_cond_wait(&ready_signal, &ready_lock);
    pthread_mutex_unlock(&ready_lock);
}

}  // namespace

void reset_engine_ready() {
    pthread_mutex_lock(&ready_lock);
    ready = false;
    ended = false;
    pthread_mutex_unlock(&ready_lock);
}

void engine_ready() { raise_flag(ready); }
void wait_for_engine() { wait_for_flag(ready); }
void engine_ended() { raise_flag(ended); }
void wait_for_engine_end() { wait_for_flag(ended); }

namespace {

/// How soon a sleep notices an interrupt.
constexpr unsigned interrupt_slice_ms = 100;

}  // namespace

bool sleep_unless_interrupted(unsigned ms) {
    for (;;) {
        if (interrupt_request != console_interrupt::none) return false;
        if (ms == 0) return true;
        const unsigned slice = ms < interrupt_slice_ms ? ms : interrupt_slice_ms;
        sleep_ms(slice);
        ms -= slice;
    }
}
