/* The DLL command call service and the stack-checked call used by the
   program's code (i686, GNU assembler, AT&T syntax). */
    .text

/* DllCallThunk: on entry [esp] = return address, [esp+4] = command index,
   [esp+8..] = the function's own arguments. Only eax, ecx and edx are used,
   which the stdcall convention leaves to the callee. */
    .globl _DllCallThunk
_DllCallThunk:
    movl 4(%esp), %eax
    pushl %eax
    call _DllBindForThunk      /* cdecl: eax = address, never returns on failure */
    addl $4, %esp
    popl %edx                  /* return address */
    movl %edx, (%esp)          /* overwrite the index slot: [esp] = return address */
    jmp *%eax

/* uint32_t DllCallChecked(thunk, index, args, argc, int* stackOk)
   Pushes argc words (last first), the index, calls the thunk and compares the
   stack pointer with the one recorded before the pushes. */
    .globl _DllCallChecked
_DllCallChecked:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 16(%ebp), %esi        /* args */
    movl 20(%ebp), %ecx        /* argc */
    movl %esp, %ebx            /* the stack position before the call */
1:  testl %ecx, %ecx
    jle 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  pushl 12(%ebp)             /* index */
    call *8(%ebp)
    xorl %ecx, %ecx
    cmpl %ebx, %esp
    sete %cl
    movl %ebx, %esp            /* put the stack right whatever the callee did */
    movl 24(%ebp), %edx
    movl %ecx, (%edx)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
