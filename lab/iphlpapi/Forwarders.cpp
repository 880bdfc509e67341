// One entry point per forwarded export. The first call of each resolves the
// system's function and stores it; every call then jumps there with the
// caller's registers and stack untouched, whatever the signature.

#include "BuiltinIphlpapi.h"

#define LAB_FORWARD(index, name) #name,
static const char* const kNames[] = {
#include "ForwardedExports.inc"
};
#undef LAB_FORWARD

constexpr size_t kCount = sizeof kNames / sizeof *kNames;

extern "C" {

FARPROC lab_iphlpapi_targets[kCount];

FARPROC lab_iphlpapi_resolve(unsigned index) {
  FARPROC target = lab::BuiltinIphlpapi::find(kNames[index]);
  InterlockedExchangePointer(reinterpret_cast<void**>(&lab_iphlpapi_targets[index]),
                             reinterpret_cast<void*>(target));
  return target;
}

}  // extern "C"

// Saves the four argument registers around the resolver call and keeps the
// stack 16-byte aligned at the call.
asm(".text\n"
    "lab_iphlpapi_slow:\n"
    "  pushq %rcx\n"
    "  pushq %rdx\n"
    "  pushq %r8\n"
    "  pushq %r9\n"
    "  subq $0x28, %rsp\n"
    "  movl %eax, %ecx\n"
    "  call lab_iphlpapi_resolve\n"
    "  addq $0x28, %rsp\n"
    "  popq %r9\n"
    "  popq %r8\n"
    "  popq %rdx\n"
    "  popq %rcx\n"
    "  jmpq *%rax\n");

#define LAB_FORWARD(index, name)                                   \
  asm(".text\n"                                                    \
      ".globl " #name "\n" #name ":\n"                             \
      "  movq lab_iphlpapi_targets+8*" #index "(%rip), %rax\n"     \
      "  testq %rax, %rax\n"                                       \
      "  jz 1f\n"                                                  \
      "  jmpq *%rax\n"                                             \
      "1:\n"                                                       \
      "  movl $" #index ", %eax\n"                                 \
      "  jmp lab_iphlpapi_slow\n");
#include "ForwardedExports.inc"
#undef LAB_FORWARD
