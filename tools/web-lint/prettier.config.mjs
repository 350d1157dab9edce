// The layout of vesk-host's page sources; the width is the C++ sources' column limit.
export default {
  printWidth: 100,
};
