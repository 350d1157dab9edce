// The lint of vesk-host's page: the recommended rules for its script and its stylesheet, and a
// rule of our own against a stylesheet rule written twice.
import js from "@eslint/js";
import css from "@eslint/css";

// A selector (within the same at-rules) given a second rule: the later one silently wins or
// repeats, and the two drift apart.
const noRepeatedRules = {
  meta: {
    type: "problem",
    docs: { description: "Disallow a selector list that already has a rule" },
    messages: { repeated: "'{{selector}}' repeats the rule of line {{line}}." },
  },
  create(context) {
    const seen = new Map();
    const text = (node) => context.sourceCode.getText(node).replace(/\s+/g, " ").trim();
    return {
      Rule(node) {
        let scope = "";
        for (let up = context.sourceCode.getParent(node); up; up = context.sourceCode.getParent(up))
          if (up.type === "Atrule") scope = "@" + up.name + " " + (up.prelude ? text(up.prelude) : "") + "|" + scope;
        const selector = text(node.prelude);
        const first = seen.get(scope + selector);
        if (first) {
          context.report({ node: node.prelude, messageId: "repeated", data: { selector, line: first } });
        } else {
          seen.set(scope + selector, node.loc.start.line);
        }
      },
    };
  },
};

export default [
  {
    files: ["host/web/page.js"],
    ...js.configs.recommended,
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: "script",
      globals: {
        window: "readonly",
        document: "readonly",
        location: "readonly",
        WebSocket: "readonly",
        URL: "readonly",
        Blob: "readonly",
        setTimeout: "readonly",
        performance: "readonly",
      },
    },
    rules: {
      ...js.configs.recommended.rules,
      eqeqeq: "error",
      "no-var": "error",
      "prefer-const": "error",
      "no-implicit-globals": "error",
    },
  },
  {
    files: ["host/web/page.css"],
    language: "css/css",
    plugins: { css, vesk: { rules: { "no-repeated-rules": noRepeatedRules } } },
    rules: {
      ...css.configs.recommended.rules,
      // Where the system has no ui-monospace, the fallback after it serves.
      "css/use-baseline": ["error", { allowPropertyValues: { "font-family": ["ui-monospace"] } }],
      "vesk/no-repeated-rules": "error",
    },
  },
];
