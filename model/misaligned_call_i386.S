/*
 * long misaligned_call(const void *function, const uint32_t *words,
 *                      int word_count, int misalignment)
 *
 * Calls a cdecl function with word_count argument words such that, at the
 * call, the stack pointer is misalignment bytes above a 16-byte boundary,
 * as a caller built for 4-byte stack alignment may leave it. Returns the
 * function's eax.
 */
    .text
    .globl  misaligned_call
    .type   misaligned_call, @function
misaligned_call:
    pushl   %ebp
    movl    %esp, %ebp
    pushl   %esi
    pushl   %edi
    movl    12(%ebp), %esi          /* argument words */
    movl    16(%ebp), %ecx          /* their number */
    leal    32(,%ecx,4), %eax       /* room for them and some slack */
    subl    %eax, %esp
    andl    $-16, %esp              /* a 16-byte boundary ... */
    addl    20(%ebp), %esp          /* ... plus the misalignment */
    movl    %esp, %edi
    cld
    rep movsl                       /* copy the arguments into place */
    call    *8(%ebp)
    leal    -8(%ebp), %esp
    popl    %edi
    popl    %esi
    popl    %ebp
    ret
    .size   misaligned_call, .-misaligned_call
    .section .note.GNU-stack, "", @progbits
