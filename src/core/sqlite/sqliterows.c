/* Our build of SQLite, with what the embedded engine measures of every row it fetches: the
 * amalgamation compiled as it is, and one function that reads the row a statement stands on
 * without taking the connection's lock for each column, as sqlite3_column_*() do. It keeps
 * SQLite's own layout, and the amalgamation must come first. */
/* clang-format off */

/* The cycle counter SQLite reads at the start and at the end of each virtual-machine instruction
 * of a statement with scan status (SQLITE_SCANSTAT_NCYCLE): `*pnCycle -= sqlite3Hwtime()`
 * before the instruction, `*pnCycle += sqlite3Hwtime()` after it, or where the step leaves the
 * loop in its middle (a row, a yield's end, an error, an interrupt). Reading it for every
 * instruction of every statement made a plain scan 3.6 times slower, so it is read only for the
 * instructions the calling thread's clock picks (quervin_clock_step(), quervinPick() below),
 * each counted w times, for the w instructions it stands for: the start gives w * (t0 + c),
 * the end w * t1, so the instruction adds w * (t1 - t0 - c) (u64 arithmetic wraps alike on
 * both sides), c being what the two reads add to the time between them; an instruction not
 * picked adds 0 - 0. The two reads of one instruction are told apart by SQLite's own flag of
 * scan status, a local of each sqlite3VdbeExec() call that only has to be nonzero (its bit 0):
 * bit 1 says an instruction's start was read and its end not yet, the bits above it the weight
 * it was picked with (0: not picked). A statement stepped inside another's instruction (an SQL
 * function running SQL, as NEXTVAL does) has flags of its own, so no read is ever paired with
 * another instruction's; and while an instruction counted more than once is open, whose start
 * the thread keeps (quervinLongEnd()), the statements inside it pick none such. The counts of
 * executions (nExec: Starts, A-Rows) go on as SQLite keeps them, for every instruction.
 * SQLite's own definition of sqlite3Hwtime(void) is renamed aside, unused. */
struct VdbeOp;
struct quervin_clock;
typedef struct quervinThreadClock {
  int clocked;                  /* the thread's step is clocked */
  int open;                     /* an instruction counted more than once has started */
  int redraw;                   /* it was picked at random: the next gap is drawn at its end */
  unsigned long long openStart; /* and its start */
  long long whole;              /* instructions the run still clocks whole */
  unsigned long long weight;    /* the steps the clocked step stands for */
  unsigned long long cost;      /* c above */
  unsigned long long longRead;  /* past this the thread may have been taken off the processor */
  long waits;                   /* its voluntary context switches when last looked at */
  unsigned gap;                 /* the instructions to the next one picked at random, with it */
  unsigned seed;                /* xorshift32 */
  unsigned every;               /* one instruction in `every` is picked at random */
  struct quervin_clock* clock;  /* where the run's clocking goes on after the step */
} quervinThreadClock;
static __thread quervinThreadClock quervinThread __attribute__((tls_model("initial-exec")));
static inline __attribute__((always_inline)) unsigned long long quervinCounter(void) {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_ia32_rdtsc();
#elif defined(__aarch64__)
  unsigned long long v;
  __asm__ __volatile__("mrs %0, cntvct_el0" : "=r"(v));
  return v;
#else
  return 0;
#endif
}
/* The counter once what came before it is done: the choice of the instruction just before its
 * start is no part of its time, and its own work all is at its end. Read unfenced, a one-step
 * aggregate's lines summed 17 % below its time not measured (45 % above, c not taken off);
 * fenced, 6 % above, the run itself 1 % slower. */
static inline __attribute__((always_inline)) unsigned long long quervinFenced(void) {
#if defined(__x86_64__) || defined(__i386__)
#ifdef __SSE2__
  __builtin_ia32_lfence();
#endif
  return __builtin_ia32_rdtsc();
#elif defined(__aarch64__)
  unsigned long long v;
  __asm__ __volatile__("isb\n\tmrs %0, cntvct_el0" : "=r"(v) : : "memory");
  return v;
#else
  return 0;
#endif
}
static inline unsigned quervinPick(const struct VdbeOp* op);
static unsigned quervinGap(quervinThreadClock* t);
static unsigned long long quervinLongEnd(unsigned long long w, unsigned long long t1);
static inline __attribute__((always_inline)) unsigned long long quervinHwtime(
    int* flag, const struct VdbeOp* op) {
  quervinThreadClock* t = &quervinThread;
  unsigned long long w, now;
  if (*flag & 2) {
    /* The end of the instruction whose start was the last read of this call of the loop. */
    w = (unsigned)*flag >> 2;
    *flag = 1;
    if (__builtin_expect(w == 0, 1)) return 0;
    now = quervinFenced();
    if (w > 1) {
      t->open = 0;
      /* The next gap is drawn here, where its time is no instruction's. */
      if (t->redraw) {
        t->redraw = 0;
        t->gap = quervinGap(t);
      }
      if (__builtin_expect(now - t->openStart >= t->longRead, 0)) return quervinLongEnd(w, now);
    }
    return w * now;
  }
  w = __builtin_expect(t->clocked, 0) ? quervinPick(op) : 0;
  *flag = (int)(3u | ((unsigned)w << 2));
  if (__builtin_expect(w == 0, 1)) return 0;
  now = quervinFenced();
  if (w > 1) t->openStart = now;
  return w * (now + t->cost);
}
#define sqlite3Hwtime(x) quervinHwtime##x(&bStmtScanStatus, pOp)
#define quervinHwtimevoid(flag, op) quervinHwtimeUnused(void)

#include "sqlite3.c"
#include "core/sqlite/sqliterows.h"

#include <sys/resource.h>

/* Instructions that may do many rows' work at one go: a sort, a count of a whole b-tree, a
 * virtual table building its rows. Clocked whole with each instruction's first runs: picked at
 * random, one long run would count 0 or `every` times its cycles. */
static const unsigned char quervinAtOneGo[256] = {
    [OP_SorterSort] = 1, [OP_Sort] = 1, [OP_Count] = 1, [OP_VFilter] = 1};
#define QUERVIN_FIRST_RUNS 16

static unsigned quervinXorshift(unsigned x) {
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  return x;
}

/* A gap of 1 to 2 * every - 1 instructions, each as likely: one instruction in `every` is picked,
 * at no period of the statement's own, each as often as any other once a few gaps have passed.
 * Not a geometric gap by a logarithm: drawn so inside the engine's runs, a gap cost more than
 * the two reads of the counter. */
static unsigned quervinGap(quervinThreadClock* t) {
  t->seed = quervinXorshift(t->seed ? t->seed : 2463534242u);
  return 1u + (unsigned)(((unsigned long long)t->seed * (2ull * t->every - 1)) >> 32);
}

/* Whether `op` probes one of the engine's hash areas (its plan's idxStr "qv$hash..."), which
 * finds a few rows by their keys: no virtual table building its rows at one go. */
static inline int quervinProbe(const struct VdbeOp* op) {
  return op->opcode == OP_VFilter && op->p4.z != 0 && strncmp(op->p4.z, "qv$hash", 7) == 0;
}

/* The weight an instruction of a clocked step is read with: 0, not read. One counted more than
 * once is read only when no other such is open on the thread (the one whose start is kept). */
static inline __attribute__((always_inline)) unsigned quervinPick(const struct VdbeOp* op) {
  quervinThreadClock* t = &quervinThread;
  unsigned long long w;
  if (t->whole > 0) {
    --t->whole;
    w = t->weight;
  } else if (op->nExec <= QUERVIN_FIRST_RUNS ||
             (quervinAtOneGo[op->opcode] && !quervinProbe(op))) {
    w = t->weight;
  } else if (--t->gap != 0) {
    return 0;
  } else {
    /* Drawn anew at the instruction's end; none is picked at random before. */
    t->gap = 1u << 30;
    t->redraw = 1;
    w = t->weight * t->every;
  }
  if (w > 1) {
    if (t->open) return 0;
    t->open = 1;
  }
  return (unsigned)w;
}

/* The voluntary context switches of the calling thread (waits for a read, a lock); -1 when not
 * known. */
static long quervinWaits(void) {
#ifdef RUSAGE_THREAD
  struct rusage u;
  if (getrusage(RUSAGE_THREAD, &u) == 0) return u.ru_nvcsw;
#endif
  return -1;
}

/* The end of an instruction counted w times that took longRead cycles or more. When the thread
 * waited in it (for a read) it counts w times, as any other. Otherwise its time past longRead
 * counts once: a time slice that another thread, or the host of a virtual machine, took from
 * it is no work of the w instructions it stands for, and counted thousands of times would
 * outweigh the statement; the work of one instruction seldom takes that long. */
static unsigned long long quervinLongEnd(unsigned long long w, unsigned long long now) {
  quervinThreadClock* t = &quervinThread;
  const long waits = quervinWaits();
  const int waited = waits != t->waits;
  t->waits = waits;
  if (waited) return w * now;
  return w * (t->openStart + t->longRead) + (now - t->openStart - t->longRead);
}

/* What the two reads of the counter add to the time between them: the middle of a few pairs. */
static unsigned long long quervinReadCost(void) {
  static unsigned long long cost = ~0ull;
  unsigned long long c = __atomic_load_n(&cost, __ATOMIC_RELAXED);
  if (c == ~0ull) {
    unsigned long long d[63];
    int i, j;
    for (i = 0; i < 63; ++i) {
      const unsigned long long t0 = quervinFenced();
      d[i] = quervinFenced() - t0;
    }
    for (i = 1; i < 63; ++i)
      for (j = i; j > 0 && d[j - 1] > d[j]; --j) {
        const unsigned long long x = d[j];
        d[j] = d[j - 1];
        d[j - 1] = x;
      }
    c = d[31];
    __atomic_store_n(&cost, c, __ATOMIC_RELAXED);
  }
  return c;
}

/* Oracle's NUMBER for an integer: an exponent byte, then base-100 digits without the trailing
 * zero ones, and a terminating byte after a negative number's digits. */
static inline __attribute__((always_inline)) sqlite3_int64 quervinNumberBytes(
    sqlite3_int64 value) {
  static const sqlite3_uint64 powers[20] = {1ull,
                                           10ull,
                                           100ull,
                                           1000ull,
                                           10000ull,
                                           100000ull,
                                           1000000ull,
                                           10000000ull,
                                           100000000ull,
                                           1000000000ull,
                                           10000000000ull,
                                           100000000000ull,
                                           1000000000000ull,
                                           10000000000000ull,
                                           100000000000000ull,
                                           1000000000000000ull,
                                           10000000000000000ull,
                                           100000000000000000ull,
                                           1000000000000000000ull,
                                           10000000000000000000ull};
  sqlite3_uint64 rest;
  int bits, decimals;
  if (value == 0) return 1;
  rest = value < 0 ? (sqlite3_uint64)0 - (sqlite3_uint64)value : (sqlite3_uint64)value;
  if (rest <= 0xffffffffull) {
    /* Most integers fit in 32 bits, whose arithmetic is quicker: their base-100 digits
     * counted by four comparisons that do not wait for one another. */
    unsigned small = (unsigned)rest;
    while (__builtin_expect(small % 100 == 0, 0)) small /= 100;
    return 2 + (small >= 100u) + (small >= 10000u) + (small >= 1000000u) +
           (small >= 100000000u) + (value < 0);
  }
  while (rest % 100 == 0) rest /= 100;
  bits = 64 - __builtin_clzll(rest);
  /* Decimal digits from the bit length (log10(2) is close to 1233 / 4096), without a branch. */
  decimals = (bits * 1233) >> 12;
  decimals = decimals - (rest < powers[decimals]) + 1;
  return 1 + ((decimals + 1) >> 1) + (value < 0);
}

static sqlite3_int64 quervinWithLength(sqlite3_int64 bytes) {
  return bytes + (bytes > 250 ? 3 : 1);
}

/* Read from the value's flags in the order sqlite3_value_type() gives them precedence: a value
 * read once as text keeps its first type. A NUMBER has 22 bytes at most: one length byte. */
static inline __attribute__((always_inline)) sqlite3_int64 quervinRowBytes(const Mem* row,
                                                                           int columns) {
  sqlite3_int64 bytes = 0;
  int i;
  for (i = 0; i < columns; ++i) {
    const Mem* m = &row[i];
    const u16 f = m->flags;
    if (f & MEM_Null) {
      bytes += 1;
    } else if (f & MEM_Int) {
      bytes += 1 + quervinNumberBytes(m->u.i);
    } else if (f & (MEM_Real | MEM_IntReal)) {
      bytes += 1 + 8;
    } else if (f & (MEM_Str | MEM_Blob)) {
      bytes += quervinWithLength((sqlite3_int64)m->n + ((f & MEM_Zero) ? m->u.nZero : 0));
    } else {
      bytes += 1;
    }
  }
  return bytes;
}

sqlite3_int64 quervin_row_bytes(sqlite3_stmt* stmt) {
  const Vdbe* p = (const Vdbe*)stmt;
  if (p == 0 || p->pResultRow == 0) return 0;
  return quervinRowBytes(p->pResultRow, p->nResColumn);
}

int quervin_step_rows(sqlite3_stmt* stmt, sqlite3_int64 limit, sqlite3_int64* rows,
                      sqlite3_int64* bytes, quervin_clock* clock) {
  Vdbe* p = (Vdbe*)stmt;
  sqlite3_int64 n = 0;
  sqlite3_int64 b = 0;
  int rc = SQLITE_ROW;
  sqlite3_mutex* lock;
  if (p == 0 || p->db == 0) return sqlite3_step(stmt);
  /* The connection's lock is taken once for the loop. A stop from another thread still ends
   * it: sqlite3_interrupt() takes no lock. */
  lock = p->db->mutex;
  sqlite3_mutex_enter(lock);
  while (n < limit) {
    if (clock) quervin_clock_step(clock);
    /* A statement that runs steps on as sqlite3_step() steps it, without its wrapper: the
     * lock, held already, and compiling the statement again when the schema changed before
     * its start, which is past. Any other (one starting, or ended) goes through the wrapper. */
    rc = p->eVdbeState == VDBE_RUN_STATE ? sqlite3Step(p) : sqlite3_step(stmt);
    if (clock) quervin_clock_step(0);
    if (rc != SQLITE_ROW) break;
    b += quervinRowBytes(p->pResultRow, p->nResColumn);
    ++n;
  }
  sqlite3_mutex_leave(lock);
  *rows = n;
  *bytes = b;
  return rc;
}

int quervin_has_cycle_counter(void) {
#if defined(__x86_64__) || defined(__i386__) || defined(__aarch64__)
  return 1;
#else
  return 0;
#endif
}

sqlite3_uint64 quervin_cycles(void) {
  return quervinCounter();
}

void quervin_clock_step(quervin_clock* clock) {
  quervinThreadClock* t = &quervinThread;
  int on = 0;
  if (t->clock) {
    /* The step that ended leaves the run's clocking where it got to. */
    t->clock->instructions = t->whole;
    t->clock->gap = t->gap;
    t->clock->seed = t->seed;
    t->clock = 0;
  }
  t->clocked = 0;
  if (clock == 0 || !quervin_has_cycle_counter()) return;
  if (clock->steps < clock->whole || clock->every <= 1) {
    on = 1;
  } else {
    /* xorshift32: which steps are clocked follows no period of the statement's own. */
    unsigned x = quervinXorshift(clock->seed ? clock->seed : 2463534242u);
    clock->seed = x;
    /* One in a power of two (as the engine asks) without a division at every step. */
    on = (clock->every & (clock->every - 1)) == 0 ? (x & (clock->every - 1)) == 0
                                                 : x % clock->every == 0;
  }
  if (clock->steps == 0) t->waits = quervinWaits();
  t->weight = clock->steps < clock->whole || clock->every <= 1 ? 1 : clock->every;
  ++clock->steps;
  if (!on) return;
  t->every = clock->instructionEvery > 1 ? clock->instructionEvery : 1;
  /* Every instruction picked: every one counted whole. */
  if (t->every == 1) clock->instructions = (long long)(~0ull >> 1);
  t->cost = quervinReadCost();
  t->longRead = clock->longRead > 0 ? (unsigned long long)clock->longRead : ~0ull;
  t->whole = clock->instructions;
  t->seed = clock->seed;
  t->gap = clock->gap ? clock->gap : quervinGap(t);
  t->clock = clock;
  t->clocked = 1;
}

int quervin_page_size(sqlite3* db) {
  int size;
  if (db == 0 || db->aDb[0].pBt == 0) return 0;
  sqlite3_mutex_enter(db->mutex);
  size = sqlite3BtreeGetPageSize(db->aDb[0].pBt);
  sqlite3_mutex_leave(db->mutex);
  return size;
}

/* The OP_Return of the subroutine that the OP_BeginSubrtn at `a` begins (the program's end when
 * none is found). */
static int quervinSubroutineReturn(const Vdbe* p, int a) {
  const int reg = p->aOp[a].p2;
  while (a + 1 < p->nOp && !(p->aOp[a + 1].opcode == OP_Return && p->aOp[a + 1].p1 == reg)) ++a;
  return a + 1;
}

/* Whether the subroutine that begins at `a` (OP_BeginSubrtn) is the work after a RIGHT or FULL
 * join's conditions: SQLite codes it so, to call it again from its pass over the right table's
 * rows that met none, where it first tests the table of those that met one. */
static int quervinRightJoinWork(const Vdbe* p, int a) {
  int g;
  for (g = a + 2; g < p->nOp; ++g) {
    const Op* call = &p->aOp[g];
    if (call->opcode == OP_Gosub && call->p1 == p->aOp[a].p2 && call->p2 == a + 1 &&
        p->aOp[g - 1].opcode == OP_Found)
      return 1;
  }
  return 0;
}

/* Where the instruction at `a` ends the inner loop of an outer join (SQLite's LEFT JOIN): SQLite
 * sets a flag where a row has met the join's conditions, and there, with the flag still clear,
 * makes a row of NULLs and goes back to set it, so that the work after the conditions runs once
 * for that row. The address that sets the flag; -1 when `a` is no such end. */
static int quervinOuterJoinHit(const Vdbe* p, int a) {
  const Op* test = &p->aOp[a];
  int c;
  if (test->opcode != OP_IfPos || test->p3 != 0) return -1;
  for (c = a + 1; c < p->nOp && c <= a + 8; ++c) {
    const Op* back = &p->aOp[c];
    if (back->opcode == OP_Goto || back->opcode == OP_Gosub) {
      const int hit = back->p2;
      return hit > 0 && hit < a && p->aOp[hit].opcode == OP_Integer && p->aOp[hit].p1 == 1 &&
                     p->aOp[hit].p2 == test->p1
                 ? hit
                 : -1;
    }
    if (back->opcode != OP_NullRow && back->opcode != OP_Null && back->opcode != OP_ReopenIdx)
      return -1;
  }
  return -1;
}

/* Scan status entry `iScan` of `p` when it is a loop that visits rows; 0 otherwise. */
static const ScanStatus* quervinLoopScan(const Vdbe* p, int iScan) {
  const ScanStatus* s;
  if (p == 0 || iScan < 0 || iScan >= p->nScan) return 0;
  s = &p->aScan[iScan];
  return s->addrLoop > 0 && s->addrVisit > 0 ? s : 0;
}

int quervin_text_number(const char* z, double* value) {
  double v = 0;
  if (sqlite3AtoF(z, &v) <= 0) return 0;
  *value = v;
  return 1;
}

/* Where the OP_Copy at `a` keeps the row a DISTINCT let on, in the order the rows come (SQLite's
 * WHERE_DISTINCT_ORDERED): it follows one comparison of each column with the row kept before,
 * each taking NULL as equal to NULL, the last going back for the next row when all are equal.
 * The address of the first comparison; -1 when `a` is no such copy. */
static int quervinOrderedDistinct(const Vdbe* p, int a) {
  const Op* copy = &p->aOp[a];
  const int n = copy->p3 + 1;
  int k;
  if (copy->opcode != OP_Copy || a - n < 0) return -1;
  for (k = 0; k < n; ++k) {
    const Op* cmp = &p->aOp[a - n + k];
    const int last = k == n - 1;
    if (cmp->opcode != (last ? OP_Eq : OP_Ne) || !(cmp->p5 & SQLITE_NULLEQ) ||
        cmp->p1 != copy->p1 + k || cmp->p3 != copy->p2 + k || (!last && cmp->p2 != a))
      return -1;
  }
  return a - n;
}

/* Whether the OP_Found at `a` looks the row up among those had before and the instructions after
 * it keep the row there (a DISTINCT kept in a temporary index): the address of that OP_IdxInsert,
 * or -1. */
static int quervinDistinctInsert(const Vdbe* p, int a) {
  const Op* op = &p->aOp[a];
  int k;
  if (op->opcode != OP_Found && op->opcode != OP_NotFound) return -1;
  for (k = a + 1; k < p->nOp && k <= a + 4; ++k)
    if (p->aOp[k].opcode == OP_IdxInsert && p->aOp[k].p1 == op->p1) return k;
  return -1;
}

sqlite3_int64 quervin_distinct_rows(sqlite3_stmt* stmt, int iScan) {
  const Vdbe* p = (const Vdbe*)stmt;
  const ScanStatus* s;
  sqlite3_int64 kept = -1;
  int a;
  if ((s = quervinLoopScan(p, iScan)) == 0) return -1;
  for (a = s->addrVisit; a < p->nOp; ++a) {
    const Op* op = &p->aOp[a];
    int insert;
    if (op->opcode == OP_BeginSubrtn) {
      a = quervinSubroutineReturn(p, a);
      continue;
    }
    if ((insert = quervinDistinctInsert(p, a)) >= 0)
      kept = (sqlite3_int64)p->aOp[insert].nExec;
    else if (quervinOrderedDistinct(p, a) >= 0)
      kept = (sqlite3_int64)op->nExec;
    if (((op->opcode == OP_Next || op->opcode == OP_Prev || op->opcode == OP_VNext) &&
         op->p2 <= s->addrVisit) ||
        quervinOuterJoinHit(p, a) >= 0 || op->opcode == OP_Return || op->opcode == OP_Halt ||
        op->opcode == OP_EndCoroutine)
      break;
  }
  return kept >= 0 ? kept : quervin_loop_output(stmt, iScan);
}

sqlite3_int64 quervin_loop_output(sqlite3_stmt* stmt, int iScan) {
  const Vdbe* p = (const Vdbe*)stmt;
  const ScanStatus* s;
  sqlite3_int64 aggregated = -1;
  sqlite3_int64 checked = -1;
  sqlite3_int64 offset = -1;
  int a;
  if ((s = quervinLoopScan(p, iScan)) == 0) return -1;
  /* The work after the conditions ends where the loop steps to its next row, jumping back to
   * its top (a loop that finds one row by its rowid has no such step: where the loop around it
   * steps on), or where its subquery or co-routine returns or the program ends. A loop inside it would step
   * on first: the caller asks only for a query's last loop. */
  for (a = s->addrVisit; a < p->nOp; ++a) {
    const Op* op = &p->aOp[a];
    const sqlite3_int64 runs = (sqlite3_int64)op->nExec;
    if (op->opcode == OP_BeginSubrtn) {
      /* A subquery coded in the loop's conditions: passed over to its return. The work of a
       * RIGHT or FULL join is gone through: its pass sends the rows that met none through it. */
      if (!quervinRightJoinWork(p, a)) a = quervinSubroutineReturn(p, a);
      continue;
    }
    /* The end of an outer join's inner loop, which sends a row of NULLs through the work
     * again when no row met the join's conditions (quervin_outer_join_rows()): that work ran
     * once for each row the join handed on. */
    const int outerEnd = quervinOuterJoinHit(p, a) >= 0;
    const int stepsBack = ((op->opcode == OP_Next || op->opcode == OP_Prev ||
                            op->opcode == OP_VNext) && op->p2 <= s->addrVisit) || outerEnd;
    /* Rows go into aggregates as often as the busiest of them steps. A check for values had
     * before (SELECT DISTINCT, COUNT(DISTINCT x), a member of INTERSECT) looks each row up,
     * then keeps those it lets on in a temporary index: it sees every row that goes on, and
     * passes fewer. The last such check is the work after the conditions (an IN condition
     * looks rows up too, before, in a list of its own). */
    if ((op->opcode == OP_AggStep || op->opcode == OP_AggStep1) && runs > aggregated)
      aggregated = runs;
    /* An OFFSET skips rows that met the conditions: what reached it went on from the loop. */
    if (op->opcode == OP_IfPos && op->p3 == 1 && op->p2 > a && offset < 0) offset = runs;
    if (quervinDistinctInsert(p, a) >= 0) checked = runs;
    /* A DISTINCT in the rows' order compares each with the row kept before. */
    if (op->opcode == OP_Copy) {
      const int first = quervinOrderedDistinct(p, a);
      if (first >= 0) checked = (sqlite3_int64)p->aOp[first].nExec;
    }
    /* A co-routine's loop ends where the co-routine does. */
    if (stepsBack || op->opcode == OP_Return || op->opcode == OP_Halt ||
        op->opcode == OP_EndCoroutine) {
      if (checked > aggregated) aggregated = checked;
      if (aggregated < 0 && offset >= 0) return offset;
      return aggregated >= 0                ? aggregated
             : a > s->addrVisit ? (sqlite3_int64)p->aOp[a - 1].nExec
                                : -1;
    }
  }
  return -1;
}

int quervin_outer_join_rows(sqlite3_stmt* stmt, int iScan, sqlite3_int64* matched,
                            sqlite3_int64* revisits) {
  const Vdbe* p = (const Vdbe*)stmt;
  const ScanStatus* s;
  int a, b;
  if ((s = quervinLoopScan(p, iScan)) == 0) return 0;
  /* The flag is cleared as the loop begins; the first end after its visits that tests it is the
   * loop's own. */
  for (a = s->addrLoop; a < s->addrVisit; ++a) {
    const Op* clear = &p->aOp[a];
    if (clear->opcode != OP_Integer || clear->p1 != 0) continue;
    for (b = s->addrVisit; b + 1 < p->nOp; ++b) {
      const int hit = quervinOuterJoinHit(p, b);
      if (hit >= s->addrVisit && p->aOp[b].p1 == clear->p2) {
        const sqlite3_int64 nulls = (sqlite3_int64)p->aOp[b + 1].nExec;
        *matched = (sqlite3_int64)p->aOp[hit].nExec - nulls;
        *revisits = hit == s->addrVisit ? nulls : 0;
        return 1;
      }
    }
  }
  return 0;
}

/* Whether the instruction at `a` rewinds a cursor that a step back to the instruction after it
 * goes through row by row: the top of a loop over the values of an IN operator. */
static int quervinListLoopTop(const Vdbe* p, int a) {
  const Op* top = &p->aOp[a];
  int k;
  if (top->opcode != OP_Rewind && top->opcode != OP_Last) return 0;
  for (k = a + 1; k < p->nOp; ++k) {
    const Op* op = &p->aOp[k];
    if ((op->opcode == OP_Next || op->opcode == OP_Prev) && op->p1 == top->p1 && op->p2 == a + 1)
      return 1;
  }
  return 0;
}

int quervin_loop_keys(sqlite3_stmt* stmt, int iScan, sqlite3_int64* values,
                      sqlite3_int64* probes) {
  const Vdbe* p = (const Vdbe*)stmt;
  const ScanStatus* s;
  int top = -1;
  int a;
  if (p == 0 || iScan < 0 || iScan >= p->nScan) return 0;
  s = &p->aScan[iScan];
  if (s->addrLoop <= 0 || s->addrVisit <= s->addrLoop) return 0;
  for (a = s->addrLoop; a < s->addrVisit && a < p->nOp; ++a) {
    const Op* op = &p->aOp[a];
    if (op->opcode == OP_BeginSubrtn) {
      /* The subquery that fills the list: its own loops are not the list's. */
      a = quervinSubroutineReturn(p, a);
      continue;
    }
    if (quervinListLoopTop(p, a)) {
      if (top >= 0) return 0; /* lists of several columns: each value of one is not a lookup */
      top = a + 1;
    }
  }
  if (top < 0) return 0;
  for (a = top; a < s->addrVisit && a < p->nOp; ++a) {
    const int code = p->aOp[a].opcode;
    if (code == OP_SeekGE || code == OP_SeekGT || code == OP_SeekLE || code == OP_SeekLT ||
        code == OP_SeekRowid || code == OP_NotExists) {
      *values = (sqlite3_int64)p->aOp[top].nExec;
      *probes = (sqlite3_int64)p->aOp[a].nExec;
      return 1;
    }
  }
  return 0;
}


sqlite3_int64 quervin_groups(sqlite3_stmt* stmt, int iScan) {
  const Vdbe* p = (const Vdbe*)stmt;
  const ScanStatus* s;
  int start;
  int a;
  if ((s = quervinLoopScan(p, iScan)) == 0) return -1;
  /* A sorter's rows are grouped where it is read back (its loop); a scan's where it visits. */
  start = s->addrLoop > s->addrVisit ? s->addrLoop : s->addrVisit;
  for (a = start; a < p->nOp; ++a) {
    const Op* op = &p->aOp[a];
    const int t = op->p2;
    if (op->opcode == OP_Halt || op->opcode == OP_Return) return -1;
    if ((op->opcode == OP_Next || op->opcode == OP_Prev) && op->p2 <= start) return -1;
    /* The subroutine that ends a group: it returns at once when no row went into the group,
     * else finishes the aggregates and hands the group on (past a HAVING). */
    if (op->opcode == OP_Gosub && t > 0 && t + 2 < p->nOp && p->aOp[t].opcode == OP_IfPos &&
        p->aOp[t].p2 == t + 2 && p->aOp[t + 1].opcode == OP_Return)
      return (sqlite3_int64)p->aOp[t + 2].nExec;
  }
  return -1;
}

sqlite3_int64 quervin_sorted_rows(sqlite3_stmt* stmt, int iScan) {
  const Vdbe* p = (const Vdbe*)stmt;
  const ScanStatus* s;
  int a;
  if (p == 0 || iScan < 0 || iScan >= p->nScan) return -1;
  s = &p->aScan[iScan];
  if (s->addrLoop <= 0) return -1;
  /* The loop that reads the sorted rows back begins by sorting them; its first instruction runs
   * once for each row read. */
  for (a = s->addrLoop; a < p->nOp && a <= s->addrLoop + 4; ++a) {
    const int code = p->aOp[a].opcode;
    if ((code == OP_SorterSort || code == OP_Sort) && a + 1 < p->nOp)
      return (sqlite3_int64)p->aOp[a + 1].nExec;
  }
  return -1;
}
