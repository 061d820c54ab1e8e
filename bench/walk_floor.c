// The floor of a scan: sums the logical sizes of all regular files below a directory with nothing else.
//
// walk_floor [-j THREADS] DIR prints the byte total. Each directory is opened once, listed with readdir,
// and every entry is fstatat'ed relative to the directory's descriptor (the same system calls as du,
// without du's bookkeeping). -j 1 (the default) is the single-thread floor; -j N shares a stack of
// directories among N threads, the floor of a parallel walk. It remembers nothing but the stack.
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t wake = PTHREAD_COND_INITIALIZER;
static char** stack;
static size_t stackSize, stackCapacity, pending;  // pending: on the stack or being listed
static _Atomic int64_t total;

static void Push(char* path) {
  if (stackSize == stackCapacity) {
    stackCapacity = stackCapacity ? stackCapacity * 2 : 1024;
    stack = realloc(stack, stackCapacity * sizeof *stack);
    if (!stack) abort();
  }
  stack[stackSize++] = path;
  ++pending;
}

// Lists one directory: sums its files, pushes its subdirectories.
static void Visit(char* path) {
  int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  DIR* directory = fd < 0 ? NULL : fdopendir(fd);
  if (!directory) {
    if (fd >= 0) close(fd);
    free(path);
    return;
  }
  int64_t bytes = 0;
  size_t length = strlen(path);
  const struct dirent* entry;
  while ((entry = readdir(directory))) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]))) continue;
    struct stat status;
    if (fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(status.st_mode)) {
      bytes += status.st_size;
    } else if (S_ISDIR(status.st_mode)) {
      size_t nameLength = strlen(name);
      char* child = malloc(length + nameLength + 2);
      if (!child) abort();
      memcpy(child, path, length);
      child[length] = '/';
      memcpy(child + length + 1, name, nameLength + 1);
      pthread_mutex_lock(&lock);
      Push(child);
      pthread_cond_signal(&wake);
      pthread_mutex_unlock(&lock);
    }
  }
  closedir(directory);
  free(path);
  atomic_fetch_add(&total, bytes);
}

static void* Work(void* unused) {
  (void)unused;
  pthread_mutex_lock(&lock);
  for (;;) {
    while (stackSize == 0 && pending > 0) pthread_cond_wait(&wake, &lock);
    if (stackSize == 0) break;
    char* path = stack[--stackSize];
    pthread_mutex_unlock(&lock);
    Visit(path);
    pthread_mutex_lock(&lock);
    if (--pending == 0) pthread_cond_broadcast(&wake);
  }
  pthread_mutex_unlock(&lock);
  return NULL;
}

int main(int argc, char** argv) {
  int threads = 1;
  if (argc == 4 && strcmp(argv[1], "-j") == 0) {
    threads = atoi(argv[2]);
    argv += 2;
    argc -= 2;
  }
  if (argc != 2 || threads < 1) {
    fprintf(stderr, "usage: walk_floor [-j THREADS] DIR\n");
    return 2;
  }
  Push(strdup(argv[1]));
  pthread_t helpers[threads];
  for (int i = 1; i < threads; ++i) pthread_create(&helpers[i], NULL, Work, NULL);
  Work(NULL);
  for (int i = 1; i < threads; ++i) pthread_join(helpers[i], NULL);
  printf("%lld\n", (long long)total);
  return 0;
}
