// Breakpoints and watchpoints, kept beside the machine. With none set the machine runs its own
// step and nothing here is looked at. With any set, the session runs the machine through
// Debugger::run: the CPU's own run over a bus that shows every data access and port cycle to
// the debugger, and asks it before each instruction whether to stop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "spectrum/machine.h"

// A register and the value it must hold for a stop to count.
struct RegisterCondition {
    std::string reg{}; // "" for none; A F B C D E H L I R, AF BC DE HL IX IY SP PC
    uint16_t value = 0;
    bool holds(const Z80& z) const;
    bool operator==(const RegisterCondition&) const = default;
};

// The register a name stands for (any case), false for none.
bool register_name_known(const std::string& name);

struct Breakpoint {
    enum class Kind { execute, read, write, port_in, port_out };
    Kind kind = Kind::execute;
    // execute: first = the address. read and write: the range first..last. Ports: a port
    // matches when (port & mask) == first.
    uint16_t first = 0, last = 0, mask = 0xFFFF;
    RegisterCondition when{};

    // Whether an access of this point's kind at `place` (an address, or a port) is one it
    // watches.
    bool covers(uint16_t place) const {
        switch (kind) {
        case Kind::execute: return place == first;
        case Kind::read:
        case Kind::write: return place >= first && place <= last;
        case Kind::port_in:
        case Kind::port_out: return (place & mask) == first;
        }
        return false;
    }
    bool operator==(const Breakpoint&) const = default;
};

class Debugger {
  public:
    std::vector<Breakpoint> points;
    // Called before every instruction the checking path runs (the trace).
    std::function<void(const Spectrum&)> before_step;
    // Why the machine stopped ("BREAK AT $8000"); empty while it runs.
    std::string reason;

    // Whether the checking path must run.
    bool armed() const { return !points.empty() || before_step || run_to >= 0; }
    bool stopped() const { return !reason.empty(); }

    // Runs while tstates < tstates_limit and tstatesh < tstatesh_limit: what
    // Spectrum::z80_run does, with the checks. True when a breakpoint
    // or watchpoint stopped it (`reason` says which). Run again from a stop, the instruction
    // the machine stopped before runs without stopping again.
    bool run(Spectrum& m, int32_t tstates_limit, int32_t tstatesh_limit);

    // One instruction, the stop at PC passed over. An interrupt due first is accepted, and
    // a breakpoint at its handler stops there; watchpoints stop it as in a run.
    void step(Spectrum& m);
    // Where "step over" stops: after a CALL (conditional too), RST, DJNZ, repeating block
    // instruction (LDIR CPIR INIR OTIR LDDR CPDR INDR OTDR) or HALT with interrupts on at PC,
    // the instruction after it; -1 when the one at PC is none of those (a plain step).
    static int32_t step_over_target(const Spectrum& m);
    // Stops the next run before the instruction at `address` (once), with reason "STEP".
    void run_until(uint16_t address) { run_to = address; }

    // Adds or removes an execution breakpoint at `address`; true when one is now set.
    bool toggle(uint16_t address);
    bool breaks_at(uint16_t address) const;

    // Called by the checking bus after each access of `kind` (read, write, port_in,
    // port_out) at `place`, when watching_memory (or watching_ports) says a watchpoint of
    // that kind is set.
    bool watching_memory = false, watching_ports = false;
    void accessed(Breakpoint::Kind kind, uint16_t place, uint8_t value);

    // What the checking bus asks at each step (debug_bus.h). A step starts with PC at `pc`:
    // whether the machine must be looked at before the instruction (a breakpoint there, a
    // trace, or a watchpoint whose condition reads the registers the instruction starts
    // with).
    bool step_at(uint16_t pc) {
        instruction_pc = pc;
        return at_address[pc] != 0 || look_each_step;
    }
    // Then, with the machine's record up to date: the trace, and whether to stop before the
    // instruction at PC (`reason` says why).
    bool before_instruction(const Spectrum& m);

  private:
    int32_t run_to = -1;
    const Z80* regs = nullptr;   // the machine's registers while a step runs
    uint16_t instruction_pc = 0; // where the running instruction began
    bool look_each_step = false; // a trace, or a watchpoint with a register condition
    // 1 at each address where an execution breakpoint (or run_until) is set.
    std::vector<uint8_t> at_address = std::vector<uint8_t>(0x10000);
    // Where the last stop was: the breakpoint there does not stop the machine again until
    // it has moved on.
    uint16_t stop_pc = 0;
    int32_t stop_t = INT32_MIN;

    void prepare();
    // Whether the instruction at PC, about to run, is a stop; sets `reason`.
    bool stops_before(const Spectrum& m);
};

// The checking path's run over each bus, in the machine's CPU model, while tstates < limit
// and nothing stops it; the T-state its last step began at, as z80_run
// (debugger_step.cpp and debugger_step_128.cpp: each instantiation takes long to compile).
int32_t debug_run_48(Spectrum& m, Debugger& d, int32_t limit);
int32_t debug_run_128(Spectrum& m, Debugger& d, int32_t limit);
